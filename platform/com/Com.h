#pragma once
#include "CVariant.h"
#include "ComTypes.h"
#include "ConnectionPoint.h"
#include "ErrorInfo.h"
#include "Unknown.h"
