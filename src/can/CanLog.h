#pragma once

#include <QLoggingCategory>

// The CAN jobs' developer trace ("bms.can").
Q_DECLARE_LOGGING_CATEGORY(lcCanJobs)
