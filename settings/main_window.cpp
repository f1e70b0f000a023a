#include "settings/main_window.h"

namespace settings {

namespace {
MainWindow& link() {
    static MainWindow parts;
    return parts;
}
}  // namespace

void setMainWindow(MainWindow parts) {
    link() = std::move(parts);
}

rb::Window* openMainWindow() {
    return link().window ? link().window() : nullptr;
}

rb::Ref<rb::TextArea> mainText() {
    return link().text ? link().text() : nullptr;
}

}  // namespace settings
