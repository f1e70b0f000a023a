#include "help/HelpPrinting.h"

#include "help/Help.h"
#include "platform/rbframework/date.h"
#include "platform/rbframework/gui/dialogs.h"
#include "platform/rbframework/gui/printing.h"
#include "platform/rbframework/runtime_yield.h"
#include "platform/rbframework/string_functions.h"

namespace help {

namespace {

using rb::Graphics;
using rb::Ref;
using rb::String;

// The page, in points.
constexpr double kPageWidth = 540;
constexpr double kPageHeight = 720;
constexpr double kBodyWidth = kPageWidth - 48;
constexpr double kBodyLeft = 36;
constexpr double kBodyTop = 36;
constexpr double kBodyHeight = kPageHeight - 48;
constexpr double kPageNumberX = 40;
constexpr double kTimeX = 100;
constexpr double kFooterY = 720;

void bodyFont(Graphics& g) {
    g.setTextFont("Courier");
    g.setBold(true);
}

void footer(Graphics& g, int32_t pageNumber, const String& timeText) {
    g.setTextFont("Arial");
    g.setBold(false);
    g.DrawString(String("page ") + rb::Str(pageNumber), kPageNumberX, kFooterY, 0, false);
    g.DrawString(timeText, kTimeX, kFooterY, 0, false);
}

// Prints the open help window's text, opening the window first if need be.
void printPages(const String& timeText) {
    int32_t pageNumber = 1;
    Ref<Graphics> g = rb::OpenPrinterDialog();
    if (!g) return;
    g->setTextSize(10);
    g->setForeColor(rb::RGB(0, 0, 0));
    bodyFont(*g);
    Ref<rb::StyledTextPrinter> body = Help::Help_()->TextArea1()->StyledTextPrinter(g, kBodyWidth);
    while (!body->EOF_()) {
        body->DrawBlock(kBodyLeft, kBodyTop, kBodyHeight);
        if (!body->EOF_()) {
            footer(*g, pageNumber, timeText);
            bodyFont(*g);
            ++pageNumber;
            g->NextPage();
        }
        rb::RuntimeBackgroundTasks();
    }
    footer(*g, pageNumber, timeText);
    // The user learns here whether the pages went out: the runtime only says why they did not.
    String failure = g->finish();
    if (!failure.empty()) rb::MsgBox(failure);
}

}  // namespace

bool PrintHelp() {
    Ref<rb::Date> now = rb::make<rb::Date>();
    const String timeText = now->ShortTime() + String(", ") + now->ShortDate();
    printPages(timeText);
    Help::Help_()->Close();
    return true;
}

}  // namespace help
