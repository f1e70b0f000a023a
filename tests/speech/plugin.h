// Calls into the real speech bundle through the real host, by the keys the program binds.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "platform/rbframework/folder_item.h"
#include "platform/rbframework/plugin_host.h"
#include "platform/rbframework/rbstring.h"
#include "speech/instance_data.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace speechplugin {

using Obj = rb::Ref<rb::PluginObject>;

inline void LoadBundle() {
    rb::PluginHost::instance().loadBundles({"speech"});
}

// The entry registered as "<class of o>.<member>", cast to F.
template <class F>
F Entry(const Obj& o, const std::string& member) {
    return reinterpret_cast<F>(
        rb::PluginHost::instance().require(std::string(o->record().name) + "." + member));
}

// Takes over the one reference a plug-in result carries.
inline Obj Adopt(REALobject o) {
    return Obj::adopt(o ? rb::PluginObject::fromHandle(o) : nullptr);
}

template <class T>
T* Data(const Obj& o) {
    return static_cast<T*>(o->data());
}

inline Obj New(const char* className) {
    return rb::PluginHost::instance().newInstance(className);
}

// Methods without arguments.
inline Obj ObjectOf(const Obj& o, const std::string& decl) {
    return Adopt(Entry<REALobject (*)(REALobject)>(o, decl)(o->handle()));
}
inline bool Bool(const Obj& o, const std::string& decl) {
    return Entry<bool (*)(REALobject)>(o, decl)(o->handle());
}
inline int32_t Int(const Obj& o, const std::string& decl) {
    return Entry<int32_t (*)(REALobject)>(o, decl)(o->handle());
}
inline void Do(const Obj& o, const std::string& decl) {
    Entry<void (*)(REALobject)>(o, decl)(o->handle());
}

inline Obj VoiceAt(const Obj& speech, int32_t index) {
    return Adopt(Entry<REALobject (*)(REALobject, int32_t)>(
        speech, "Voice(index as integer) as VoiceZRQ")(speech->handle(), index));
}
inline bool Speak(const Obj& o, const rb::String& s) {
    return Entry<bool (*)(REALobject, REALstring)>(o, "Speak(s as string) as Boolean")(o->handle(),
                                                                                       s.handle());
}
inline bool SetOutputFile(const Obj& channel, rb::FolderItem* file) {
    return Entry<bool (*)(REALobject, REALfolderItem)>(
        channel, "SetOutputFile(file as folderitem) as boolean")(channel->handle(),
                                                                 file ? file->handle() : nullptr);
}

// Property accessors: getters (obj, 0), setters (obj, 0, value).
template <class T>
T Get(const Obj& o, const std::string& property) {
    return Entry<T (*)(REALobject, int32_t)>(o, property + ".Get")(o->handle(), 0);
}
template <class T>
void Set(const Obj& o, const std::string& property, T value) {
    Entry<void (*)(REALobject, int32_t, T)>(o, property + ".Set")(o->handle(), 0, value);
}
inline void SetVoice(const Obj& channel, const Obj& voice) {
    Set<REALobject>(channel, "Voice", voice ? voice->handle() : nullptr);
}

// Standard fields, read as the host reads them: at the record's dataOffset plus the field's.
inline int32_t IntField(const Obj& o, size_t offset) {
    return intGetter(o->handle(), static_cast<int32_t>(o->record().dataOffset + offset));
}
inline bool BoolField(const Obj& o, size_t offset) {
    return boolGetter(o->handle(), static_cast<int32_t>(o->record().dataOffset + offset));
}
inline rb::String StringField(const Obj& o, size_t offset) {
    return rb::String::adopt(
        stringGetter(o->handle(), static_cast<int32_t>(o->record().dataOffset + offset)));
}
inline rb::Ref<rb::Object> ObjectField(const Obj& o, size_t offset) {
    return rb::Ref<rb::Object>::adopt(reinterpret_cast<rb::Object*>(
        objGetter(o->handle(), static_cast<int32_t>(o->record().dataOffset + offset))));
}

using vellora_test::WaitFor;

// A folder of the test's own, removed with what it holds.
struct TempFolder : vellora_test::TempFolder {
    TempFolder() : vellora_test::TempFolder("speechplugin") {}
    size_t count() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(path()),
                                                 std::filesystem::directory_iterator()));
    }
};

}  // namespace speechplugin
