// Resource ids of Vorlink64.dll.
#pragma once

// Icon groups, in this order among the module's icons (the icon handler names
// them by position).
#define IDI_VORLINK     154   // position 0: the module's own icon
#define IDI_DOCUMENT    155   // position 1: fallback document icon
#define IDI_OVERLAY     156   // position 2: overlay for ".EDS" names

// Bitmap beside the "Quennel" submenu item (12 x 12).
#define IDB_MENU        157
