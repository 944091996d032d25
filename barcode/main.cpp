// The cuecat program; everything it does but the exit status lives in the
// cuecat library.
#include "cuecat_command.h"

#include <ExitStatus.h>

int main(int argc, char** argv)
{
	return stria::ExitStatus(cuecat_run(argc, argv, stdin, stdout, stderr));
}
