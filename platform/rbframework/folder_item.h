// Folder items: the runtime's names for files and folders, which need not exist yet.
#pragma once

#include <filesystem>

#include "platform/rbframework/object.h"
#include "platform/rbframework/rbstring.h"
#include "plugin-interface/plugin_abi.h"

namespace rb {

class FolderItem final : public Object {
  public:
    explicit FolderItem(std::filesystem::path path) : path_(std::move(path)) {}

    const std::filesystem::path& path() const noexcept { return path_; }
    String Name() const { return String(path_.filename().string()); }
    bool Exists() const;
    bool Directory() const;
    // The item named `name` inside this one; nil for a name that is empty or holds a '/'.
    Ref<FolderItem> Child(const String& name) const;
    Ref<FolderItem> Parent() const;

    REALfolderItem handle() noexcept {
        return reinterpret_cast<REALfolderItem>(static_cast<Object*>(this));
    }
    // Only valid for a handle that the runtime made for a folder item.
    static FolderItem* fromHandle(REALfolderItem item) noexcept {
        return static_cast<FolderItem*>(reinterpret_cast<Object*>(item));
    }

  private:
    std::filesystem::path path_;
};

}  // namespace rb
