// Platform status values as words for log lines.
#ifndef STRIA_STATUS_TEXT_H
#define STRIA_STATUS_TEXT_H

#include <SupportDefs.h>

#include <string>

namespace stria {

std::string StatusText(status_t status);

} // namespace stria

#endif // STRIA_STATUS_TEXT_H
