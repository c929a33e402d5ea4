// The simulated host's COM objects: one class per host interface, each a real COM object with
// IDispatch from the host type library and ISupportErrorInfo. Every object is a thin view of
// the model and is created anew for every request.
#pragma once

#include <memory>

#include "hostsim/HostSimModel.h"

namespace HostSim {

// A new application object (reference count 1) on the model.
IOrvexApplication* NewApplicationObject(const std::shared_ptr<TModel>& Model);

}  // namespace HostSim
