#include "NARO.hpp"
