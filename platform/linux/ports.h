// The parallel ports of the Linux platform layer.
//
// DOS device names live in the process, stacked as Windows stacks them.
// CreateFileA of "\\.\NAME", where the newest target of NAME is
// "\Device\ParallelN", opens the Linux printer device of that port: the file
// lpN in the directory that the environment variable PAR1_PARALLEL_DEVICES
// names, /dev by default (so \Device\Parallel0 is /dev/lp0; /dev/usb suits
// USB printer adapters). The variable is read at each open. Handles of one
// device in one process share one descriptor, so a port can be open more than
// once, as on Windows; a descriptor whose device has gone is not shared again.
// What the ports do on lp, usblp and other devices: ports.cpp and
// platform/README.md.
#pragma once

#include "platform/linux/files.h"

#include <memory>
#include <string>

namespace platform {

// The newest target of a DOS device name; false when it is not defined.
bool dosDeviceTarget(const std::string& name, std::string& target);

// The device opener of CreateFileA for "\\.\NAME" names of parallel ports.
bool openParallelPort(const DeviceRequest& request, std::shared_ptr<FileObject>& object,
                      DWORD& error);

} // namespace platform
