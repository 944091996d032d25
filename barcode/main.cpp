// The cuecat program; everything it does lives in the cuecat library.
#include "cuecat.h"

int main(int argc, char** argv)
{
	return cuecat_main(argc, argv);
}
