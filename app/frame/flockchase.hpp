// The main procedure of flockchase.
#pragma once

#include "runtime/startup.hpp"

int FlockchaseMain(const MainArguments& arguments);
