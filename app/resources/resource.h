// Resource numbers shared by dovlek.rc and the Windows front end.
#pragma once

#define IDI_PELLOMAR 1
