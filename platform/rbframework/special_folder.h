// The user's special folders as folder items.
#pragma once

#include "platform/rbframework/folder_item.h"
#include "platform/rbframework/object.h"

namespace rb::SpecialFolder {

// The folder where programs keep the user's settings: $XDG_CONFIG_HOME when it is set to an
// absolute path, else ~/.config. The folder is made (owner only) when it is missing, so the
// first save of a new account finds it; if that fails the item is still returned and writing
// into it fails later. Nil only when no home folder is known. One reference for the caller.
Ref<FolderItem> Preferences();

}  // namespace rb::SpecialFolder
