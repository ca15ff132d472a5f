// Resource ids of Vorlink64.dll.
#pragma once

// Icon groups, in this order among the module's icons (the icon handler names
// them by position).
#define IDI_VORLINK     154   // position 0: the module's own icon
#define IDI_DOCUMENT    155   // position 1: fallback document icon
#define IDI_OVERLAY     156   // position 2: overlay for ".EDS" names
#define IDI_PROGRAM     158   // position 3: Vellumo's icon, beside the "Quennel" submenu item

// Strings, in Chinese and in English: each command's menu text, then its help text.
#define IDS_MENU_ENCRYPT        200
#define IDS_MENU_DECRYPT        201
#define IDS_MENU_CLIP_ENCRYPT   202
#define IDS_MENU_CLIP_DECRYPT   203
#define IDS_MENU_SETTINGS       204
#define IDS_HELP_ENCRYPT        210
#define IDS_HELP_DECRYPT        211
#define IDS_HELP_CLIP_ENCRYPT   212
#define IDS_HELP_CLIP_DECRYPT   213
#define IDS_HELP_SETTINGS       214
