#include "platform/rbframework/folder_item.h"

namespace rb {

bool FolderItem::Exists() const {
    std::error_code ec;
    return std::filesystem::exists(path_, ec);
}

bool FolderItem::Directory() const {
    std::error_code ec;
    return std::filesystem::is_directory(path_, ec);
}

Ref<FolderItem> FolderItem::Child(const String& name) const {
    std::string n = name.toUtf8();
    if (n.empty() || n == "." || n == ".." || n.find('/') != std::string::npos) return nullptr;
    return make<FolderItem>(path_ / n);
}

Ref<FolderItem> FolderItem::Parent() const {
    if (!path_.has_relative_path()) return nullptr;
    return make<FolderItem>(path_.parent_path());
}

}  // namespace rb
