#pragma once
// The windows made at program start besides the main window.
#include "app/areaselect.h"
#include "app/toolform.h"
#include "web/helpfrm.h"
#include "web/mymessage.h"
