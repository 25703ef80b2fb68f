#include "user_messages.h"

#include "string_table.h"

namespace mireldo {

MessageAnswer UserMessages::showString(int stringId, MessageIcon icon, MessageButtons buttons) {
    return showMessage(loadString(stringId), icon, buttons);
}

} // namespace mireldo
