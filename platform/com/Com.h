#pragma once
#include "CVariant.h"
#include "ComTypes.h"
#include "ConnectionPoint.h"
#include "Unknown.h"
