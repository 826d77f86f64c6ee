#include "port/Par1ReadEndPointOpen.h"

#include "platform/win32.h"
#include "port/Par1ReadEndPoint.h"
#include "port/Par1ReadEndPointClosed.h"
#include "port/Par1ReadEndPointError.h"
#include "port/PortSystem.h"
#include "protocol/Data.h"
#include "shared/TextBuilder.h"
#include "shared/TransportLog.h"

#include <vector>

namespace {

const DWORD readSize = 4096;
// What the Windows 95 family's port driver hands out per read.
const DWORD readSize95 = 20;

} // namespace

Par1ReadEndPointOpen::Par1ReadEndPointOpen() : Par1ReadEndPointState("Par1ReadEndPointOpen") {}

Par1ReadEndPointOpen& Par1ReadEndPointOpen::instance() {
    static Par1ReadEndPointOpen state;
    return state;
}

uint32_t Par1ReadEndPointOpen::doClose(Par1ReadEndPoint& endpoint) {
    return closeEndpoint(endpoint, "Par1ReadEndPointOpen::doClose: ");
}

uint32_t Par1ReadEndPointOpen::doRead(Par1ReadEndPoint& endpoint, Data& data, uint32_t most) {
    DWORD size = endpoint.getPlatformId() == VER_PLATFORM_WIN32_WINDOWS ? readSize95 : readSize;
    if (most != 0 && most < size) {
        size = most;
    }
    std::vector<uint8_t> buffer(size);
    DWORD count = 0;
    if (!PortSystem::current().readFile(endpoint.getHandle(), buffer.data(), size, &count,
                                        nullptr)) {
        uint32_t result = GetLastError();
        if (result == 0) {
            // A failure must not read as success.
            result = ERROR_READ_FAULT;
        }
        data.setError(result);
        endpoint.changeState(Par1ReadEndPointError::instance());
        transportLog::line(LevelError,
                           TextBuilder("Par1ReadEndPointOpen::doRead rc=").append(result).str());
        return result;
    }
    // A driver never reports more than it was asked for; do not trust it.
    if (count > size) {
        count = size;
    }
    data.append(Data(buffer.data(), count));
    data.setError(0);
    if (count != 0) {
        transportLog::detail([&] {
            return TextBuilder("Par1ReadEndPointOpen::doRead ")
                .append(TextBuilder(data.data(), static_cast<int32_t>(data.size()), true).str())
                .append("(")
                .append(data.size())
                .append(" bytes)")
                .str();
        });
    }
    return 0;
}

namespace {

[[maybe_unused]] Par1ReadEndPointOpen& madeAtLoad = Par1ReadEndPointOpen::instance();

} // namespace
