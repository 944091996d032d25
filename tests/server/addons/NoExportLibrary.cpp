// A shared library that is not an add-on: it exports neither factory.
extern "C" __attribute__((visibility("default"))) int not_an_add_on()
{
	return 1;
}
