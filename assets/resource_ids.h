#pragma once
// Resource identifiers shared by travik.rc and the code.
#define IDI_TRAVIK 1
#define IDR_THEMES 101
#define IDR_BANNER 102
