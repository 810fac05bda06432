// Automatic saves, requested once every AutoSaveInterval emulated seconds by the status event.
#pragma once

namespace tamsk {

// Points the session path at the next "autosave_NNN.aes" in AutoSavePath and requests a save.
// Nothing happens when the path would be longer than 259 characters.
void HostAutoSave();

}  // namespace tamsk
