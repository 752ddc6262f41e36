#include "viewer/disk_model.h"
