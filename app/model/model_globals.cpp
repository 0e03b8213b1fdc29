#include "app/model/model_globals.hpp"

Real Pi = 3.141592653589794L;
Real FlockDampingArray[2] = {0.0L, 0.0L};
