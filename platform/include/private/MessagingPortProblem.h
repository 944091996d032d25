// Private to the platform: why this process could not publish its message
// port, for programs that must tell their user why a messenger of theirs
// cannot be handed to another process (BMessage::AddMessenger fails then).
#ifndef _MESSAGING_PORT_PROBLEM_H
#define _MESSAGING_PORT_PROBLEM_H

#include <string>

namespace BPrivate {

// One line naming the directory and what is wrong with it ("no usable
// runtime directory: /tmp/stria-1000 is a symbolic link, not a directory");
// empty when the port is published or was never needed.
std::string message_port_problem();

} // namespace BPrivate

#endif // _MESSAGING_PORT_PROBLEM_H
