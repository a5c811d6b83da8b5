// The notice that tells the user a plug-in was left out for the run.
#pragma once

#include <string>

// Shows text once the load under way has returned: it is posted to a
// window of its own and shown when the thread's message loop comes to it,
// never from inside the load, where a modal box would let other windows and
// the tick run into the half-done load. Where no window can be made, it is
// shown at once.
void PostPluginNotice(const std::string& text);
