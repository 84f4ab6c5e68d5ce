// The library's six public class functions. Each returns its class object,
// building and registering the class on the first call. The application
// reaches them through the runtime by their public names.
#pragma once

#include "exporter/velmoran_order.h"
#include "model/model.h"
