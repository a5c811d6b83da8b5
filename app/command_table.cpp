#include "app/command_table.h"

#include <map>

namespace {
std::map<int, CommandHandler>& Handlers() {
    static std::map<int, CommandHandler> handlers;
    return handlers;
}
}  // namespace

void SetCommandHandler(int command, CommandHandler handler) {
    if (handler) {
        Handlers()[command] = handler;
    } else {
        Handlers().erase(command);
    }
}

CommandHandler CommandHandlerFor(int command) {
    auto found = Handlers().find(command);
    return found == Handlers().end() ? nullptr : found->second;
}
