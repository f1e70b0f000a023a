// Printing: the desktop's print dialog, a printer page to draw on, and the layout of a text
// area's text page after page.
//
// A printer page (Graphics) is 540 by 720 points whatever the paper: the runtime maps it onto
// the printable area the user's page setup leaves, scaled down where the paper is smaller.
// The job ends, and the pages go to the printer or the file, at Graphics::finish(), which
// returns the failure for the caller to report; a job left unfinished ends when the last
// reference to its Graphics goes, and its failure is then lost.
#pragma once

#include <QFont>
#include <QString>

#include <memory>

#include "platform/rbframework/gui/properties.h"
#include "platform/rbframework/object.h"
#include "platform/rbframework/rbstring.h"

class QPainter;
class QPaintDevice;
class QPrinter;
class QTextLayout;

namespace rb {

// Shows the print dialog. It sits behind an interface, so that a test can answer it in place
// of a person (testing.h).
class PrinterDialog {
  public:
    virtual ~PrinterDialog() = default;
    // Lets the user choose where and how to print; true when they chose to print, with their
    // choices made on `printer` (a PDF file is PdfFormat with an output file name).
    virtual bool exec(QPrinter& printer) = 0;
};

class Graphics final : public Object {
  public:
    static constexpr double kWidth = 540;
    static constexpr double kHeight = 720;
    int32_t Width() const { return static_cast<int32_t>(kWidth); }
    int32_t Height() const { return static_cast<int32_t>(kHeight); }

    String TextFont() const;
    void setTextFont(const String& family);  // "System" is the desktop's own font
    double TextSize() const { return size_; }
    void setTextSize(double points);  // 0 is the default size, 12
    bool Bold() const { return bold_; }
    void setBold(bool on) { bold_ = on; }
    Color ForeColor() const { return color_; }
    void setForeColor(Color c) { color_ = c; }

    // Draws text in the current font with its baseline at y. With a wrap width, lines break
    // at that width and follow each other downwards; with condense as well, each line stays
    // whole and is narrowed to the width when it is wider. Line ends in the text start new
    // lines.
    void DrawString(const String& text, double x, double y, double wrapWidth = 0,
                    bool condense = false);
    // Finishes this page and starts the next one.
    void NextPage();
    // Ends the job: the pages go to the printer or the file. Returns nil when they did, else a
    // message for the user that names where they could not go and why (the first failure of
    // the job, a failed page included). Draw nothing after it; a second call returns the same.
    String finish();

    struct Job;
    explicit Graphics(std::unique_ptr<Job> job);
    ~Graphics() override;

  private:
    friend class StyledTextPrinter;
    // The current font, sized for the device.
    QFont deviceFont() const;
    QPainter& painter() const;
    QPaintDevice* device() const;
    double scale() const;  // device pixels per point
    void usePen() const;

    std::unique_ptr<Job> job_;
    QString family_;
    double size_ = 12;
    bool bold_ = false;
    Color color_{};
};

// Shows the print dialog (with no page setup and no parent window) and returns the first page
// of the job, or nil when the user cancels or the printer or file cannot be opened (the user
// has been told then).
Ref<Graphics> OpenPrinterDialog();

// A text laid out at a width for one printer page, drawn block after block. The text is laid
// out in the page's font at the time the printer is made; lines break at word boundaries
// (inside a word only where a word is wider than the line) and a line is never cut across two
// blocks. Only the paragraph being drawn is laid out at a time, so a long text costs no more
// than its own copy.
class StyledTextPrinter final : public Object {
  public:
    // `text`: paragraphs separated by line feeds; `width` in points.
    StyledTextPrinter(Ref<Graphics> g, QString text, double width);
    ~StyledTextPrinter() override;

    // Draws as many of the remaining lines as fit into `height` points, the first line's top
    // at (x, y), and moves past them. A line taller than the block is drawn alone, so that
    // every block makes progress.
    void DrawBlock(double x, double y, double height);
    // True once every line has been drawn (at once for an empty text).
    bool EOF_() const noexcept { return eof_; }

  private:
    void layOutNextParagraph();
    void advance();

    Ref<Graphics> g_;
    QString text_;
    double width_;  // device pixels
    QFont font_;
    qsizetype next_ = 0;  // where the next paragraph starts
    std::unique_ptr<QTextLayout> layout_;
    int line_ = 0;
    bool eof_;
};

namespace detail {
// The print dialog in use: the desktop's own unless a test put another in its place.
PrinterDialog& printerDialog();
void setPrinterDialog(PrinterDialog* replacement);  // null restores the desktop's
}  // namespace detail

}  // namespace rb
