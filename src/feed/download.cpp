#include "feed/download.h"

bool RetrieveFeed(_DOCKLET_DATA*) {
    return false;
}
