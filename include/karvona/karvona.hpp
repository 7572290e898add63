#pragma once
// Everything a program needs to read container codes with Karvona.

#include "karvona/read_code.hpp"
#include "karvona/reference_data.hpp"
#include "karvona/version.hpp"
