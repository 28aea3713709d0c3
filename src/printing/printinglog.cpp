#include "printinglog.h"

Q_LOGGING_CATEGORY(lcPrinting, "dorvantis.printing", QtWarningMsg)
