/* Resource identifiers of clipdock.exe, shared by the program and clipdock.rc. */
#ifndef CLIPDOCK_RESOURCES_RESOURCE_H
#define CLIPDOCK_RESOURCES_RESOURCE_H

#define IDB_LOGO 1000   /* 90 x 86, the logo on white; its height is the header's */
#define IDB_SKY 1001    /* 113 x 59, header background at the top left */
#define IDB_OBJ 1002    /* 32 x 26, an item without a previewable format */
#define IDB_SYS 1003    /* 55 x 21, the minimise and close glyphs */
#define IDB_ABOUT 1004  /* 394 x 187, 1 bit, the About picture */

#define IDI_CLIPDOCK 2000

#define IDD_SETTINGS 3000
#define IDC_MIN_SPIN 3001
#define IDC_MAX_SPIN 3002
#define IDC_MIN_EDIT 3003
#define IDC_MAX_EDIT 3004
#define IDC_MIN_LABEL 3005
#define IDC_MAX_LABEL 3006

#define IDD_ABOUT 3050
#define IDC_ABOUT_PICTURE 3052

#endif
