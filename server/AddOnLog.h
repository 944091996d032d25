// Sends the add-ons' log lines into the server's log while it lives, so
// that they start with the server's name like its own lines, followed by
// the add-on's name: "stria-input-server: StriaFilter: ...".
#ifndef STRIA_ADD_ON_LOG_H
#define STRIA_ADD_ON_LOG_H

namespace stria {

class LineOutput;

class AddOnLog {
public:
	// log must outlive this object; the add-ons write to stderr again once
	// it is gone.
	explicit AddOnLog(LineOutput& log);
	~AddOnLog();

	AddOnLog(const AddOnLog&) = delete;
	AddOnLog& operator=(const AddOnLog&) = delete;
};

} // namespace stria

#endif // STRIA_ADD_ON_LOG_H
