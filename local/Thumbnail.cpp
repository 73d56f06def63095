#include "local/Thumbnail.h"
