#include "feed/urlcheck.h"

bool CheckFeedURL(_PROFILE_DATA*) {
    return false;
}
