// Class registration.
#include "plugin-support/rb_plugin.h"

int32_t MyREALRegisterClass(REALclassDefinition* record) {
    // Instance data is reserved in 16-byte steps, so every field keeps its alignment.
    if (record->dataSize & 15) record->dataSize = (record->dataSize | 15) + 1;
    return REALRegisterClass(record);
}
