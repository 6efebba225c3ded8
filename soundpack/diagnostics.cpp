#include "soundpack/diagnostics.h"

std::string errorReport;
