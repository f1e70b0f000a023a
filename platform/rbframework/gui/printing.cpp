#include "platform/rbframework/gui/printing.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QTextLayout>

#include <algorithm>

#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/dialogs.h"

namespace rb {

namespace {

class DesktopPrinterDialog final : public PrinterDialog {
  public:
    bool exec(QPrinter& printer) override {
        QPrintDialog dialog(&printer, nullptr);
        // The whole text is printed: no page range, selection or current page to offer.
        dialog.setOptions(QAbstractPrintDialog::PrintToFile |
                          QAbstractPrintDialog::PrintCollateCopies |
                          QAbstractPrintDialog::PrintShowPageSize);
        dialog.setAccessibleName(dialog.windowTitle());
        return dialog.exec() == QDialog::Accepted;
    }
};

PrinterDialog* gReplacement = nullptr;

QString toQ(const String& s) {
    return QString::fromStdString(s.toUtf8());
}

QString withLineFeeds(QString s) {
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

// Breaks at word boundaries, and inside a word only where it alone is wider than the line.
QTextOption wrapping() {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

// Lays `layout` out in lines of `width` pixels stacked from 0 downwards; their total height.
double layOut(QTextLayout& layout, double width) {
    layout.setTextOption(wrapping());
    layout.beginLayout();
    double y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

}  // namespace

namespace detail {
PrinterDialog& printerDialog() {
    static DesktopPrinterDialog desktop;
    return gReplacement ? *gReplacement : desktop;
}
void setPrinterDialog(PrinterDialog* replacement) {
    gReplacement = replacement;
}
}  // namespace detail

// One print job: the printer the user chose, or for a PDF file a writer into a file that
// replaces the old one only once it is complete.
struct Graphics::Job {
    std::unique_ptr<QPrinter> printer;
    std::unique_ptr<QSaveFile> file;
    std::unique_ptr<QPdfWriter> pdf;
    QPainter painter;
    QPagedPaintDevice* device = nullptr;
    double scale = 1;
    bool failed = false;
    bool finished = false;
    QString failure;  // the first failure, worded for the user

    void fail(const QString& reason = {}) {
        if (failed) return;
        failed = true;
        failure = file ? QStringLiteral("The printout could not be saved as \u201C%1\u201D.")
                             .arg(file->fileName())
                       : QStringLiteral("The printer \u201C%1\u201D could not print the pages.")
                             .arg(printer->printerName());
        if (!reason.isEmpty()) failure += QLatin1Char(' ') + reason;
    }
    // Opens the output and starts the first page; false, with the failure, when it cannot.
    bool begin() {
        if (printer->outputFormat() == QPrinter::PdfFormat &&
            !printer->outputFileName().isEmpty()) {
            file = std::make_unique<QSaveFile>(printer->outputFileName());
            if (!file->open(QIODevice::WriteOnly)) {
                fail(file->errorString());
                return false;
            }
            pdf = std::make_unique<QPdfWriter>(file.get());
            pdf->setPageLayout(printer->pageLayout());
            pdf->setResolution(printer->resolution());
            pdf->setTitle(printer->docName());
            pdf->setCreator(QApplication::applicationName());
            device = pdf.get();
        } else {
            device = printer.get();
        }
        if (!painter.begin(device)) {
            fail();
            return false;
        }
        // The fixed page, in points, onto the printable area; never larger than true points.
        const double dpi = device->logicalDpiX();
        const QRect area = device->pageLayout().paintRectPixels(static_cast<int>(dpi));
        scale = std::min({dpi / 72.0, area.width() / kWidth, area.height() / kHeight});
        return true;
    }
    void newPage() {
        if (!failed && !device->newPage()) fail();
    }
    void finish() {
        if (finished) return;
        finished = true;
        const bool ended = painter.end();
        if (file) {
            // The last of the pages still waits in the file's buffer, and commit() would put the
            // file in the old one's place even when writing that out fails: a printout cut off.
            if (!file->flush()) {
                fail(file->errorString());
                file->cancelWriting();
            } else if (!file->commit()) {
                fail(file->errorString());
            }
        } else if (!ended || printer->printerState() == QPrinter::Error ||
                   printer->printerState() == QPrinter::Aborted) {
            fail();
        }
    }
};

Graphics::Graphics(std::unique_ptr<Job> job) : job_(std::move(job)) {
    family_ = QApplication::font().family();
}

// A job nobody finished still ends, so the device is released; there is no one left to tell.
Graphics::~Graphics() {
    job_->finish();
}

String Graphics::finish() {
    job_->finish();
    return job_->failed ? String(job_->failure.toStdString()) : String();
}

String Graphics::TextFont() const {
    return String(family_.toStdString());
}

void Graphics::setTextFont(const String& family) {
    QString name = toQ(family);
    family_ =
        name.isEmpty() || name == QLatin1String("System") ? QApplication::font().family() : name;
}

void Graphics::setTextSize(double points) {
    size_ = points > 0 ? points : 12;
}

QFont Graphics::deviceFont() const {
    QFont f;
    f.setFamilies({family_});
    f.setBold(bold_);
    // Point sizes follow the page's scale, so text keeps its place on a smaller paper.
    f.setPointSizeF(size_ * scale() * 72.0 / device()->logicalDpiY());
    return f;
}

QPainter& Graphics::painter() const {
    return job_->painter;
}
QPaintDevice* Graphics::device() const {
    return job_->device;
}
double Graphics::scale() const {
    return job_->scale;
}
void Graphics::usePen() const {
    job_->painter.setPen(QColor(color_.red, color_.green, color_.blue));
}

void Graphics::DrawString(const String& text, double x, double y, double wrapWidth, bool condense) {
    QPainter& p = painter();
    const QFont font = deviceFont();
    const QFontMetricsF metrics(font, device());
    const double s = scale();
    const double left = x * s;
    const double wrap = wrapWidth * s;
    p.setFont(font);
    usePen();
    double baseline = y * s;
    for (const QString& line : withLineFeeds(toQ(text)).split(QLatin1Char('\n'))) {
        if (wrap > 0 && !condense) {
            QTextLayout layout(line, font, device());
            const double height = layOut(layout, wrap);
            layout.draw(&p, QPointF(left, baseline - layout.lineAt(0).ascent()));
            baseline += height;
            continue;
        }
        const double natural = metrics.horizontalAdvance(line);
        if (wrap > 0 && natural > wrap) {
            p.save();
            p.translate(left, baseline);
            p.scale(wrap / natural, 1);
            p.drawText(QPointF(0, 0), line);
            p.restore();
        } else {
            p.drawText(QPointF(left, baseline), line);
        }
        baseline += metrics.lineSpacing();
    }
}

void Graphics::NextPage() {
    job_->newPage();
}

Ref<Graphics> OpenPrinterDialog() {
    auto job = std::make_unique<Graphics::Job>();
    job->printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    job->printer->setDocName(QApplication::applicationName());
    // Half-inch margins: on letter paper the printable area is the page's 540 by 720.
    job->printer->setPageMargins(QMarginsF(36, 36, 36, 36), QPageLayout::Point);
    if (!detail::printerDialog().exec(*job->printer)) return nullptr;
    if (!job->begin()) {
        MsgBox(String(job->failure.toStdString()));
        return nullptr;
    }
    return make<Graphics>(std::move(job));
}

// ---- StyledTextPrinter ------------------------------------------------------------------

StyledTextPrinter::StyledTextPrinter(Ref<Graphics> g, QString text, double width)
    : g_(std::move(g)),
      text_(withLineFeeds(std::move(text))),
      width_(width * g_->scale()),
      font_(g_->deviceFont()),
      eof_(text_.isEmpty()) {}

StyledTextPrinter::~StyledTextPrinter() = default;

void StyledTextPrinter::layOutNextParagraph() {
    qsizetype end = text_.indexOf(QLatin1Char('\n'), next_);
    if (end < 0) end = text_.size();
    layout_ = std::make_unique<QTextLayout>(text_.mid(next_, end - next_), font_, g_->device());
    layOut(*layout_, width_);
    next_ = end + 1;  // past the end once the last paragraph is taken
    line_ = 0;
}

void StyledTextPrinter::advance() {
    if (++line_ < layout_->lineCount()) return;
    layout_.reset();
    if (next_ > text_.size()) eof_ = true;
}

void StyledTextPrinter::DrawBlock(double x, double y, double height) {
    QPainter& p = g_->painter();
    const double s = g_->scale();
    const double limit = height * s;
    const QPointF topLeft(x * s, y * s);
    g_->usePen();
    double used = 0;
    bool drewOne = false;
    while (!eof_) {
        if (!layout_) layOutNextParagraph();
        QTextLine line = layout_->lineAt(line_);
        // A little slack, so that rounding never pushes a line that fits to the next page.
        if (drewOne && used + line.height() > limit + 1e-6) break;
        line.draw(&p, topLeft + QPointF(0, used - line.y()));
        used += line.height();
        drewOne = true;
        advance();
    }
}

Ref<rb::StyledTextPrinter> TextArea::StyledTextPrinter(const Ref<Graphics>& g, double width) const {
    if (!g) throw NilObjectException();
    return make<rb::StyledTextPrinter>(g, plainText(), width);
}

}  // namespace rb
