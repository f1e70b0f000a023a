// The update check: a small modal window, titled "Update", that fetches the update
// description over HTTP and compares its CurrentVersion with the program's own. A current
// version is reported in a message box; another version is offered in a dialog (cancel,
// download through the browser, or go to the maker's web site); a failed request beeps and
// reports its code: the socket's error number, the HTTP status of a reply that is not a success,
// or kNoVersionCode for a reply without a version. Each check runs in a fresh window; closing it
// abandons the request.
#pragma once

#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/progress_bar.h"
#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/net/http_socket.h"

class updateWindow : public rb::Window {
  public:
    static constexpr const char* kClassName = "updateWindow";
    // The code of a successful reply whose CurrentVersion is missing or blank, an empty reply
    // included. The socket's own numbers are 1 to 8 and HTTP statuses have three digits, so
    // neither ever shows 9.
    static constexpr int32_t kNoVersionCode = 9;
    const char* className() const override { return kClassName; }

    // The open update window, or a new one built and opened (which starts the request). One
    // reference for the caller.
    static rb::Ref<updateWindow> updateWindow_();

    void Layout() override;
    void CreateControls() override;
    void _CreateControls0();

    rb::Ref<rb::Label> StaticText1() const;
    rb::Ref<rb::ProgressBar> ProgressBar1() const;
    rb::Ref<rb::HTTPSocket> hp() const;
    rb::Ref<rb::PushButton> PushButton1() const;

    void hp_PageReceived(rb::HTTPSocket& socket, const rb::String& url, int32_t status,
                         const rb::InternetHeaders& headers, const rb::String& content);
    void hp_Error(rb::HTTPSocket& socket, int32_t code);
    void PushButton1_Action(rb::PushButton& button);  // Cancel
    void Event_Open() override;

    static rb::String startTag(const rb::String& name);
    static rb::String endTag(const rb::String& name);
    // The text between the first start tag of `name` and the next end tag after it, exactly
    // as it stands; empty when either tag is missing.
    static rb::String returnValue(const rb::String& document, const rb::String& name);
    // Whether the published version is this one: its first three "."-separated fields, read as
    // numbers (a missing field as 0), equal major, minor and bug version.
    static bool isCurrentVersion(const rb::String& version, int32_t major, int32_t minor,
                                 int32_t bug);
    void askUpgrade(const rb::String& newVersion, const rb::String& description,
                    const rb::String& downloadAddress, bool isFree);
};
