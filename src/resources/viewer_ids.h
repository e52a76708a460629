// Identifiers of the viewer window's template and controls.
#pragma once

#define IDD_VIEWER 112
#define IDC_BROWSER 1163
