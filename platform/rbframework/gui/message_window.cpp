#include "platform/rbframework/gui/message_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCursor>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

#include "platform/rbframework/gui/wrapping_label.h"

namespace rb::detail {

namespace {

// The view of the texts: as large as they ask at the width they pick, so that a short message
// looks as if nothing scrolled; the window's bound to the screen is what makes it scroll.
class TextView final : public QScrollArea {
  public:
    explicit TextView(QWidget* parent) : QScrollArea(parent) {
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
        setFocusPolicy(Qt::NoFocus);
        // Grows like the labels it holds, so a short message keeps a window as small as theirs.
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        // A text that scrolls must be reachable from the keyboard; one that shows whole is no
        // stop for Tab.
        connect(verticalScrollBar(), &QAbstractSlider::rangeChanged, this, [this](int, int most) {
            setFocusPolicy(most > 0 ? Qt::StrongFocus : Qt::NoFocus);
        });
    }

    QSize sizeHint() const override {
        QSize hint = widget()->sizeHint();
        hint.setHeight(neededHeight(hint.width()));
        const int frame = 2 * frameWidth();
        return hint + QSize(frame, frame);
    }
    // As narrow as the texts go without scrolling sideways; as low as a scroll area can be,
    // or as the texts if they are lower still.
    QSize minimumSizeHint() const override {
        return QSize(widget()->minimumSizeHint().width() + 2 * frameWidth(),
                     std::min(QScrollArea::minimumSizeHint().height(), sizeHint().height()));
    }
    // Whether the texts are taller than the view at its present size, scroll bars aside.
    bool scrolls() const {
        const QSize view = contentsRect().size();
        return neededHeight(std::max(view.width(), widget()->minimumSizeHint().width())) >
               view.height();
    }

  protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest)
            chooseScrollBars();
        return QScrollArea::event(event);
    }

  private:
    // Decided at the whole size of the view: left to itself, a scroll bar that once showed
    // could keep showing because of the narrower, taller lines it made.
    void chooseScrollBars() {
        const bool down = scrolls();
        int width = contentsRect().width();
        if (down) width -= verticalScrollBar()->sizeHint().width();
        const bool across = widget()->minimumSizeHint().width() > width;
        setVerticalScrollBarPolicy(down ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(across ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    }

    int neededHeight(int width) const {
        const QWidget* texts = widget();
        return texts->hasHeightForWidth() ? texts->heightForWidth(width)
                                          : texts->sizeHint().height();
    }
};

// A message box is announced as an alert, as the toolkit's own message box is; any other
// message window keeps the plain dialog's role.
QAccessibleInterface* alertInterface(const QString& className, QObject* object) {
    if (className != QLatin1String("QDialog")) return nullptr;
    auto* window = dynamic_cast<MessageWindow*>(object);
    if (!window || !window->isAlert()) return nullptr;
    return new QAccessibleWidget(window, QAccessible::AlertMessage);
}

// The screen the dialog's placement will put it on: its parent's, else the pointer's.
QScreen* screenFor(const QWidget& dialog) {
    if (const QWidget* parent = dialog.parentWidget()) return parent->screen();
    if (QScreen* underPointer = QGuiApplication::screenAt(QCursor::pos())) return underPointer;
    return dialog.screen();
}

}  // namespace

MessageWindow::MessageWindow(const Content& content, QWidget* parent)
    : QDialog(parent), alert_(content.alert) {
    static const bool alertsAnnounced = (QAccessible::installFactory(alertInterface), true);
    (void)alertsAnnounced;
    setWindowTitle(content.title.isEmpty() ? QApplication::applicationName() : content.title);

    auto* outer = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    outer->addLayout(row);
    if (content.icon) {
        auto* icon = new QLabel(this);
        const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        icon->setPixmap(style()->standardIcon(*content.icon, nullptr, this).pixmap(side, side));
        icon->setAlignment(Qt::AlignTop);
        // The texts beside it take any room to spare.
        icon->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        row->addWidget(icon);
    }

    auto* column = new QWidget;
    auto* texts = new QVBoxLayout(column);
    texts->setContentsMargins(0, 0, 0, 0);
    auto* message = new WrappingLabel(content.message, column);
    if (content.boldMessage) {
        QFont bold = message->font();
        bold.setBold(true);
        message->setFont(bold);
    }
    int least = content.messageMinimumWidth;
    if (least == kOneLine) {
        const int half = screenFor(*this)->availableGeometry().width() / 2;
        least = std::min({message->unbrokenWidth(), half, 500});
    }
    if (least > 0) message->setMinimumWidth(least);
    texts->addWidget(message);
    if (!content.explanation.isEmpty())
        texts->addWidget(new WrappingLabel(content.explanation, column));
    texts->addStretch(1);  // a view taller than the texts leaves its room below them
    texts_ = new TextView(this);
    texts_->setWidget(column);
    texts_->setAccessibleName(QStringLiteral("Message"));
    row->addWidget(texts_);

    buttons_ = new QDialogButtonBox(this);
    // No wider than its buttons, so that a short message box stays as narrow as its text;
    // they keep their place at the trailing side.
    buttons_->setSizePolicy(QSizePolicy::Maximum, buttons_->sizePolicy().verticalPolicy());
    outer->addWidget(buttons_, 0, Qt::AlignRight);
}

void MessageWindow::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) fitToScreen();
    QDialog::showEvent(event);  // places it, keeping the frame on the screen
    if (alert_ && !event->spontaneous()) {
        QAccessibleEvent shown(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&shown);
    }
}

void MessageWindow::fitToScreen() {
    QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    // Until a window manager has framed the window its frame is unknown: reserve a usual one.
    if (frame.isNull()) frame = QMargins(10, 40, 10, 10);
    const QSize room = screenFor(*this)->availableGeometry().size().shrunkBy(frame);

    QSize size = this->size().boundedTo(room);
    resize(size);
    // A text that scrolls gets the scroll bar beside its lines rather than over them.
    if (static_cast<const TextView*>(texts_)->scrolls()) {
        size.setWidth(
            std::min(room.width(), size.width() + texts_->verticalScrollBar()->sizeHint().width()));
        resize(size);
    }
}

}  // namespace rb::detail
