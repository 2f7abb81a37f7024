// CStatic: a static text control bound to its dialog item.
#pragma once

#include "ui/window.h"

class CStatic : public CWnd {};
