// The host's interfaces, declared by widl from Orvex.idl.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

// IOrvexMapObjects has a method GetObject; keep the GDI macro of that name out of its way.
#ifdef GetObject
#undef GetObject
#endif

#include "host/Orvex_h.h"
