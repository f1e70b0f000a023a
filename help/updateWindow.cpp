#include "help/updateWindow.h"

#include <string>

#include "help/links.h"
#include "help/selfTest.h"
#include "help/update_address.h"
#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/dialogs.h"
#include "platform/rbframework/gui/message_dialog.h"
#include "platform/rbframework/gui/show_url.h"
#include "platform/rbframework/string_functions.h"

using rb::RGB;
using rb::String;

static_assert(updateWindow::kNoVersionCode > rb::socketerror::NetworkError &&
                  updateWindow::kNoVersionCode < 100,
              "the code of a reply without a version is neither a socket error nor a status");

namespace {
// Nothing but blanks, tabs and line breaks.
bool namesNoVersion(const String& version) {
    return version.toUtf8().find_first_not_of(" \t\r\n\f\v") == std::string::npos;
}

rb::Application& theApp() {
    rb::Application* app = rb::Application::current();
    if (!app) throw rb::NilObjectException();
    return *app;
}
}  // namespace

rb::Ref<updateWindow> updateWindow::updateWindow_() {
    return rb::implicitWindow<updateWindow>();
}

void updateWindow::Layout() {
    _SetProperties({
        {"Title", String("Update")},
        {"Width", 300},
        {"Height", 120},
        {"MinWidth", 64},
        {"MinHeight", 64},
        {"MaxWidth", 32000},
        {"MaxHeight", 32000},
        {"Frame", 1},
        {"Placement", 0},
        {"MacProcID", 0},
        {"Resizeable", false},
        {"LiveResize", false},
        {"CloseButton", true},
        {"MinimizeButton", true},
        {"MaximizeButton", false},
        {"Visible", true},
        {"MenuBarVisible", true},
        {"FullScreen", false},
        {"Composite", false},
        {"HasBackColor", false},
        {"BackColor", RGB(255, 255, 255)},
    });
}

void updateWindow::CreateControls() {
    _CreateControls0();
}

void updateWindow::_CreateControls0() {
    _AddControl("StaticText1", rb::make<rb::Label>(this));
    controlAs<rb::Label>("StaticText1")->setTextUnit(0);
    controlAs<rb::Label>("StaticText1")
        ->_SetProperties({
            {"Left", 20},
            {"Top", 19},
            {"Width", 266},
            {"Height", 20},
            {"LockLeft", false},
            {"LockTop", false},
            {"LockRight", false},
            {"LockBottom", false},
            {"Text", String("Checking for updates...")},
            {"TextFont", String("Arial")},
            {"TextSize", 12},
            {"TextUnit", 0},
            {"TextAlign", 0},
            {"TextColor", RGB(0, 0, 0)},
            {"Multiline", false},
            {"Selectable", false},
            {"Transparent", false},
            {"Bold", false},
            {"Italic", false},
            {"Underline", false},
            {"Enabled", true},
            {"Visible", true},
            {"TabIndex", 0},
        });

    _AddControl("ProgressBar1", rb::make<rb::ProgressBar>(this));
    controlAs<rb::ProgressBar>("ProgressBar1")
        ->_SetProperties({
            {"Left", 20},
            {"Top", 46},
            {"Width", 260},
            {"Height", 12},
            {"LockLeft", false},
            {"LockTop", false},
            {"LockRight", false},
            {"LockBottom", false},
            {"Value", 0},
            {"Maximum", 100},
            {"Enabled", true},
            {"Visible", true},
            {"TabIndex", 1},
        });

    _AddControl("hp", rb::make<rb::HTTPSocket>(this));
    controlAs<rb::HTTPSocket>("hp")->_SetProperties({
        {"Address", String("")},
        {"Port", 0},
        {"yield", false},
    });
    controlAs<rb::HTTPSocket>("hp")->_AddPageReceivedHandler(
        [this](const String& url, int32_t status, const rb::InternetHeaders& headers,
               const String& content) { hp_PageReceived(*hp(), url, status, headers, content); });
    controlAs<rb::HTTPSocket>("hp")->_AddErrorHandler(
        [this](int32_t code) { hp_Error(*hp(), code); });

    _AddControl("PushButton1", rb::make<rb::PushButton>(this));
    controlAs<rb::PushButton>("PushButton1")->setTextUnit(0);
    controlAs<rb::PushButton>("PushButton1")
        ->_SetProperties({
            {"Left", 208},        {"Top", 80},           {"Width", 72},
            {"Height", 20},       {"LockLeft", false},   {"LockTop", false},
            {"LockRight", false}, {"LockBottom", false}, {"Caption", String("Cancel")},
            {"Default", true},    {"Cancel", true},      {"TextFont", String("System")},
            {"TextUnit", 0},      {"ButtonStyle", 0},    {"Bold", false},
            {"Italic", false},    {"Underline", false},  {"Enabled", true},
            {"Visible", true},    {"TabIndex", 1},
        });
    controlAs<rb::PushButton>("PushButton1")->_AddEventHandler(rb::event::Action, [this] {
        PushButton1_Action(*PushButton1());
    });
}

rb::Ref<rb::Label> updateWindow::StaticText1() const {
    return controlAs<rb::Label>("StaticText1");
}
rb::Ref<rb::ProgressBar> updateWindow::ProgressBar1() const {
    return controlAs<rb::ProgressBar>("ProgressBar1");
}
rb::Ref<rb::HTTPSocket> updateWindow::hp() const {
    return controlAs<rb::HTTPSocket>("hp");
}
rb::Ref<rb::PushButton> updateWindow::PushButton1() const {
    return controlAs<rb::PushButton>("PushButton1");
}

void updateWindow::Event_Open() {
    ProgressBar1()->setMaximum(0);
    hp()->Get(String(help::UpdateDescriptionURL()));
    selfTest::selfTest_()->Close();
}

String updateWindow::startTag(const String& name) {
    return String("<") + name + String(">");
}
String updateWindow::endTag(const String& name) {
    return String("</") + name + String(">");
}

String updateWindow::returnValue(const String& document, const String& name) {
    String open = startTag(name);
    int32_t p = rb::InStr(document, open);
    if (p == 0) return String("");
    int32_t s = p + rb::Len(open);
    int32_t q = rb::InStr(s, document, endTag(name));
    if (q == 0) return String("");
    return rb::Mid(document, s, q - s);
}

bool updateWindow::isCurrentVersion(const String& version, int32_t major, int32_t minor,
                                    int32_t bug) {
    return rb::Val(rb::NthField(version, ".", 1)) == double(major) &&
           rb::Val(rb::NthField(version, ".", 2)) == double(minor) &&
           rb::Val(rb::NthField(version, ".", 3)) == double(bug);
}

void updateWindow::hp_PageReceived(rb::HTTPSocket& socket, const String&, int32_t status,
                                   const rb::InternetHeaders&, const String& content) {
    // A reply that is not a page of the description (not found, a server error, a redirect
    // elsewhere) is a failed check, not an offer read out of an error page.
    if (status < 200 || status > 299) {
        hp_Error(socket, status);
        return;
    }
    // A reply that names no version (empty, blanks, a login page of a hotel's network) did
    // not come from the update description: saying nothing, or offering "Version  is now
    // available.", would leave the user without the outcome.
    String version = returnValue(content, "CurrentVersion");
    if (namesNoVersion(version)) {
        hp_Error(socket, kNoVersionCode);
        return;
    }
    String description = returnValue(content, "Description");
    bool isFree = rb::RuntimeStringCompare(returnValue(content, "Free"), String("Yes")) == 0;

    ProgressBar1()->setVisible(false);

    rb::Application& app = theApp();
    if (isCurrentVersion(version, app.MajorVersion(), app.MinorVersion(), app.BugVersion())) {
        StaticText1()->setText("This version is current.");
        StaticText1()->Refresh(true);
        rb::MsgBox("You are using the current version. No update is available.");
        Close();
        return;
    }
    askUpgrade(version, description, String(help::links::kDownload), isFree);
}

void updateWindow::askUpgrade(const String& newVersion, const String& description,
                              const String& downloadAddress, bool isFree) {
    auto d = rb::make<rb::MessageDialog>();
    d->Title = "New version available!";
    String message = d->Message;
    message = message + "Version " + newVersion + " is now available. ";
    message = message + "(You are using version " + theApp().ShortVersion() + ".) ";
    if (isFree) {
        message = message + "This is a free upgrade. ";
        message = message + "Would you like to automatically download ";
        message = message + "this update (using your web browser)?";
    } else {
        message = message + "This is a paid upgrade. ";
        message = message + "Would you like to automatically download ";
        message = message + "the trial version (using your web browser)?";
    }
    d->Message = message;
    d->Explanation = description;
    d->CancelButton()->setVisible(true);
    d->AlternateActionButton()->setCaption("Go to Website");
    d->AlternateActionButton()->setVisible(true);
    d->Icon = 3;

    rb::Ref<rb::MessageDialogButton> pressed = d->ShowModal();
    if (pressed == d->CancelButton()) {
        Close();
    } else if (pressed == d->ActionButton()) {
        rb::ShowURL(downloadAddress);
        Close();
    } else if (pressed == d->AlternateActionButton()) {
        // The window stays open, back in its waiting look with nothing more to come.
        rb::ShowURL(String(help::links::kWebSite));
    }
}

void updateWindow::hp_Error(rb::HTTPSocket&, int32_t code) {
    rb::Beep();
    String text = String("There was a communication error ") + "with the website. Please try " +
                  "again later. (Code: " + rb::Str(code) + ")";
    rb::MsgBox(text);
    Close();
}

void updateWindow::PushButton1_Action(rb::PushButton&) {
    Close();
}
