#include "ConfigParam.h"

ConfigParam::~ConfigParam() = default;
