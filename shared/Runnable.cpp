#include "shared/Runnable.h"

Runnable::~Runnable() = default;
