#include "browsercontrol.h"
