// The desktop's own message dialog and message box, shown for real offscreen with texts that
// would push a naive dialog off the screen.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <cctype>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/rbframework/gui/dialogs.h"
#include "platform/rbframework/gui/message_dialog.h"

namespace {

using rb::DialogChoice;
using rb::String;

QString repeated(const QString& piece, qsizetype size) {
    QString out;
    while (out.size() < size) out += piece;
    out.truncate(size);
    return out;
}

QString lines(int count) {
    QString out;
    for (int i = 1; i <= count; ++i) out += QStringLiteral("Line %1\n").arg(i);
    out.chop(1);
    return out;
}

String fromQ(const QString& s) {
    return String(s.toStdString());
}

struct Hostile {
    const char* name;
    QString message, explanation;
    DialogChoice press;
};

void PrintTo(const Hostile& t, std::ostream* out) {
    *out << t.name;
}

const Hostile kTexts[] = {
    {"a 1,400-character word as the explanation", "Version 2.0 is now available.",
     repeated("abcdefghij", 1400), DialogChoice::Action},
    {"60 kB of one word in the message",
     "Version " + repeated("9", 60000) + " is now available. Would you like to download it?",
     "Fixes.", DialogChoice::Alternate},
    {"60 kB of short words", "Version 2.0 is now available.", repeated("lorem ipsum ", 60000),
     DialogChoice::Cancel},
    {"5,000 lines", lines(5000), "What changed, line by line.", DialogChoice::Action},
    {"a long word, many lines and many words together", repeated("x", 3000) + "\n" + lines(300),
     repeated("dolor sit amet ", 20000), DialogChoice::Alternate},
    {"an empty message", "", "", DialogChoice::Cancel},
    {"a short message", "Version 2.0 is now available.", "Bug fixes.", DialogChoice::Action},
};

QString shownText(const Hostile& t) {
    if (t.explanation.isEmpty()) return t.message;
    if (t.message.isEmpty()) return t.explanation;
    return t.message + " " + t.explanation;
}

QRect globalRect(const QWidget* w) {
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// What a screen reader is given for the label: its name, and its characters where the label
// offers them as text.
void ExpectReadOutWhole(QLabel* label, const QString& text) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(label);
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->text(QAccessible::Name) == text) << "the name read out differs from the text";
    if (QAccessibleTextInterface* chars = a->textInterface()) {
        EXPECT_TRUE(chars->text(0, chars->characterCount()) == text);
    }
}

// The dialog as a person would meet it: within the screen, each text laid out whole in lines
// no wider than its view, and every button in sight.
void ExpectFitsTheScreen(QWidget* dialog, const std::vector<QString>& texts) {
    QRect room = dialog->screen()->availableGeometry();
    EXPECT_TRUE(room.contains(dialog->frameGeometry()))
        << "frame " << dialog->frameGeometry().width() << "x" << dialog->frameGeometry().height()
        << "+" << dialog->frameGeometry().x() << "+" << dialog->frameGeometry().y() << " on "
        << room.width() << "x" << room.height();

    const auto buttons = dialog->findChildren<QPushButton*>();
    EXPECT_FALSE(buttons.isEmpty());
    for (QPushButton* b : buttons) {
        SCOPED_TRACE(b->text().toStdString());
        EXPECT_TRUE(b->isVisible());
        EXPECT_TRUE(dialog->rect().contains(QRect(b->mapTo(dialog, QPoint(0, 0)), b->size())));
        EXPECT_TRUE(room.contains(globalRect(b)));
    }

    const auto labels = dialog->findChildren<QLabel*>();
    for (const QString& text : texts) {
        QLabel* label = nullptr;
        for (QLabel* l : labels)
            if (l->text() == text) label = l;
        ASSERT_NE(label, nullptr) << "no label shows the text as given";
        ASSERT_TRUE(label->isVisible());
        ExpectReadOutWhole(label, text);

        // A label taller than the screen is read through the scroll area around it.
        QWidget* view = label;
        QScrollArea* scroll = nullptr;
        for (QWidget* p = label->parentWidget(); p && p != dialog; p = p->parentWidget())
            if ((scroll = qobject_cast<QScrollArea*>(p))) break;
        if (scroll) view = scroll->viewport();
        EXPECT_TRUE(room.contains(globalRect(view)));
        EXPECT_LE(label->width(), view->width()) << "the lines are wider than what shows them";
        EXPECT_LE(label->minimumSizeHint().width(), label->width())
            << "a word is wider than the label, and cut";
        if (label->hasHeightForWidth()) {
            EXPECT_GE(label->height(), label->heightForWidth(label->width()))
                << "the text is cut at the bottom";
        }
        if (!scroll) {
            EXPECT_TRUE(
                dialog->rect().contains(QRect(label->mapTo(dialog, QPoint()), label->size())));
            continue;
        }
        EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible()) << "long words scroll sideways";
        const bool taller = scroll->widget()->height() > view->height();
        EXPECT_EQ(scroll->verticalScrollBar()->isVisible(), taller);
        if (taller) {
            // Reachable from the keyboard, down to the text's last line.
            EXPECT_TRUE(scroll->focusPolicy() & Qt::TabFocus);
            QScrollBar* bar = scroll->verticalScrollBar();
            QTest::keyClick(scroll, Qt::Key_PageDown);
            EXPECT_GT(bar->value(), 0);
            bar->setValue(bar->maximum());
            EXPECT_LE(label->mapTo(view, QPoint(0, label->height())).y(), view->height())
                << "the end of the text cannot be scrolled into view";
            bar->setValue(0);
        }
    }
}

// Runs `inspect`, which ends the dialog, once the modal dialog is up.
void WhileShown(std::function<void(QWidget*)> inspect, bool& seen) {
    QTimer::singleShot(0, [inspect, &seen] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog) {
            WhileShown(inspect, seen);
            return;
        }
        seen = true;
        inspect(dialog);
        // A check that stopped before pressing a button must not leave the test waiting.
        if (QApplication::activeModalWidget() == dialog) {
            ADD_FAILURE() << "no button ended the dialog";
            if (auto* d = qobject_cast<QDialog*>(dialog)) d->reject();
        }
    });
}

QPushButton* buttonReading(QWidget* dialog, const QString& caption) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    return nullptr;
}

class HostileTexts : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileTexts, TheMessageDialogStaysOnScreenAndItsButtonsWork) {
    const Hostile& t = GetParam();
    auto d = rb::make<rb::MessageDialog>();
    d->Title = "New version available!";
    d->Message = fromQ(t.message);
    d->Explanation = fromQ(t.explanation);
    d->Icon = rb::MessageDialog::kIconQuestion;
    d->CancelButton()->setVisible(true);
    d->AlternateActionButton()->setCaption("Go to Website");
    d->AlternateActionButton()->setVisible(true);

    bool seen = false;
    WhileShown(
        [&](QWidget* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "New version available!");
            EXPECT_EQ(QAccessible::queryAccessibleInterface(dialog)->role(), QAccessible::Dialog);
            EXPECT_TRUE(dialog->accessibleDescription() == t.message);
            std::vector<QString> texts{t.message};
            if (!t.explanation.isEmpty()) texts.push_back(t.explanation);
            ExpectFitsTheScreen(dialog, texts);

            auto* ok = buttonReading(dialog, "OK");
            auto* alternate = buttonReading(dialog, "Go to Website");
            ASSERT_NE(ok, nullptr);
            ASSERT_NE(alternate, nullptr);
            ASSERT_NE(buttonReading(dialog, "Cancel"), nullptr);
            EXPECT_TRUE(ok->isDefault());
            EXPECT_EQ(dialog->focusWidget(), ok);
            switch (t.press) {
                case DialogChoice::Action:
                    QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
                    break;
                case DialogChoice::Cancel:
                    QTest::keyClick(dialog->focusWidget(), Qt::Key_Escape);
                    break;
                case DialogChoice::Alternate:
                    alternate->click();
                    break;
            }
        },
        seen);
    rb::Ref<rb::MessageDialogButton> pressed = d->ShowModal();
    EXPECT_TRUE(seen);
    switch (t.press) {
        case DialogChoice::Action:
            EXPECT_EQ(pressed, d->ActionButton());
            break;
        case DialogChoice::Cancel:
            EXPECT_EQ(pressed, d->CancelButton());
            break;
        case DialogChoice::Alternate:
            EXPECT_EQ(pressed, d->AlternateActionButton());
            break;
    }
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_P(HostileTexts, TheMessageBoxStaysOnScreenAndClosesFromTheKeyboard) {
    const QString text = shownText(GetParam());
    bool seen = false;
    WhileShown(
        [&](QWidget* box) {
            EXPECT_TRUE(box->accessibleName() == text);
            EXPECT_EQ(QAccessible::queryAccessibleInterface(box)->role(),
                      QAccessible::AlertMessage);
            ExpectFitsTheScreen(box, {text});
            auto* ok = buttonReading(box, "OK");
            ASSERT_NE(ok, nullptr);
            EXPECT_EQ(box->focusWidget(), ok);
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
        },
        seen);
    rb::MsgBox(fromQ(text));
    EXPECT_TRUE(seen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(, HostileTexts, ::testing::ValuesIn(kTexts),
                         [](const ::testing::TestParamInfo<Hostile>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                             return name;
                         });

}  // namespace
