// Stands between the clipboard class and its registration (the build renames the bundle's
// call to MyREALRegisterClass to this function) and puts a blank after the comma of AddData's
// parameters: the program's key for AddData then names nothing.
#undef MyREALRegisterClass

#include <cstring>

#include "plugin-support/rb_plugin.h"

int32_t RegisterWithOneDeclarationAltered(REALclassDefinition* record) {
    for (int32_t i = 0; i < record->methodCount; ++i) {
        REALmethodRecord& method = record->methods[i];
        if (method.declaration &&
            std::strcmp(method.declaration, "AddData(FlavorType as string,data as string)") == 0) {
            method.declaration = "AddData(FlavorType as string, data as string)";
        }
    }
    return MyREALRegisterClass(record);
}
