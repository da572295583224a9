#include "ui/string_table.h"
