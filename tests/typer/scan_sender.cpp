// Another process of the same user, sending the typer's looper what only
// the filter may: two scans and a quit request. Takes the looper's
// messenger in hexadecimal byte form; exit 0 when every send went out.
#include <Message.h>
#include <Messenger.h>
#include <StriaProtocol.h>

#include <cstdio>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv)
{
	// Never outlive a test that has gone wrong.
	alarm(60);
	if (argc != 2)
		return 2;
	std::vector<char> bytes;
	for (const char* at = argv[1]; at[0] != '\0' && at[1] != '\0'; at += 2) {
		unsigned value;
		if (sscanf(at, "%2x", &value) != 1)
			return 2;
		bytes.push_back(char(value));
	}
	BMessenger typer;
	if (typer.Unflatten(bytes.data(), ssize_t(bytes.size())) != B_OK)
		return 2;
	BMessage scan(STRIA_CATSCAN);
	scan.AddString(STRIA_BARCODE_FIELD, "UPA 12");
	BMessage command(STRIA_CATSCAN);
	command.AddString(STRIA_BARCODE_FIELD, "128 rm -rf ~");
	command.AddBool(STRIA_CHECK_FAILED_FIELD, false);
	BMessage quit(B_QUIT_REQUESTED);
	for (BMessage* message : {&scan, &command, &quit}) {
		if (typer.SendMessage(message, (BHandler*)NULL, 5000000) != B_OK)
			return 1;
	}
	return 0;
}
