// What the dock icon and label show, and the small images made for menus, previews and
// the viewer's window icon.
#pragma once
#include "core/docklet.h"
#include "core/gdiplus.h"

#define OVERLAY_SIZE 256
#define MENU_PICTURE_SIZE 16

// Sets the dock label and hands a freshly drawn overlay to the host. Safe from any
// thread; updates of one instance never interleave. Never throws.
void UpdateDockDisplay(_DOCKLET_DATA* pData);
// The text that the bit set iInfo (iDockletInfo or iLabelInfo) asks for, into szOut.
void SelectDisplayText(_DOCKLET_DATA* pData, unsigned int iInfo, wchar_t* szOut, size_t cchOut);
// The item field that the bit set iInfo shows: INFO_ITEM_TITLE, INFO_ITEM_LINK, or 0
// when it shows none (hidden, the docklet's or the profile's title, or nothing chosen).
unsigned int ShownItemField(unsigned int iInfo);
// A new 256 x 256 overlay bitmap with the icon text and, when items are marked new, the
// badge that counts them; the caller owns it. May throw
// std::bad_alloc (nothing leaks then).
qm::GpBitmap* RenderIconOverlay(_DOCKLET_DATA* pData);
// A 16 x 16 bitmap of the image file for menus, or null. The caller deletes it.
HBITMAP CreateMenuBitmap(const wchar_t* szImage);
// Shows the image file scaled to fit an iEdge x iEdge square in a picture control.
void SetImagePreview(HWND hDlg, int iControl, const wchar_t* szImage, int iEdge);
// Gives a picture control hBitmap (ours; null clears it) and releases the picture the
// control showed before, and hBitmap itself when the control keeps a copy instead.
// Dialogs call it with null when they close, so their last picture is released too.
void SetStaticBitmap(HWND hDlg, int iControl, HBITMAP hBitmap);
// Makes an icon of hBitmap with crTransparent as the transparent colour.
HRESULT CreateIconFromBitmap(HDC hdc, HBITMAP hBitmap, COLORREF crTransparent, HICON* phIconOut);
