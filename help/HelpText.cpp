#include "help/HelpText.h"

namespace {
// Joins a button's name so that a line is never broken inside it.
#define NBSP "\xC2\xA0"

constexpr char kText[] =
    "Vellora was developed for the visually impaired.  Choose Input Style in the Setup menu of "
    "the menu bar to set the colour of the letters (black, red or blue), their size (18, 24, "
    "36, 48, 64, 72, 96 or 144), the font family (Helvetica, Arial, Courier or Times) and "
    "whether the letters are bold (on or off).\r"
    "\r"
    "The system voice, which you choose in the speech settings of your system, speaks each "
    "word as soon as you have typed it.  The slider on the Vellora window sets how fast the "
    "reading buttons speak.\r"
    "\r"
    "The buttons:  \"Speak" NBSP "to" NBSP
    "End\" reads from the cursor to the end of the "
    "text.  While you hold down Shift, the same button reads \"Speak" NBSP
    "All\" and reads "
    "all of the text.  \"Speak Selected\" reads the text you have selected.  While a text is "
    "being read, \"Stop Speaking\" stops the reading at once.  \"Clear All\" clears the text "
    "and the clipboard.  Once your text is ready, the \"Text to Clipboard\" button copies it, "
    "so that you can paste it into a mail or another text document.  There it takes on the "
    "current font style of that document, although Vellora shows it in large, colourful "
    "letters.\r"
    "\r"
    "Note:  after you delete or change something in the middle of the text, the words you type "
    "are no longer spoken until you click at the end of the text and go on typing there.\r"
    "\r"
    "To make the Vellora window larger, drag its bottom right corner.  Your input style and the "
    "size and place of the window are saved, and they come back the next time you start "
    "Vellora.";

#undef NBSP
}  // namespace

std::string_view help::HelpText() {
    return {kText, sizeof kText - 1};
}
