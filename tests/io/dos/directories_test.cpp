#include "tests/io/dos/dos_fixture.h"
