#include "support/PathUtil.h"
