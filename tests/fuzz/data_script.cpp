// Data driven by a script of operations against a plain model (the unread
// bytes, the error and the count): after every step the buffer holds exactly
// the model's bytes, whatever mix of appends (of its own bytes too),
// consumes, compactions, copies and tail overwrites came before.
//
// Input: the script, one operation byte and its operands at a time.
#include "FuzzSupport.h"

#include "protocol/Data.h"

#include <cstring>
#include <memory>

using par1fuzz::Bytes;

namespace {

struct Model {
    Bytes unread;
    uint32_t error = 0;
    uint32_t count = 0;
};

void check(Data& data, const Model& model, int step) {
    const std::string where = "after step " + std::to_string(step);
    FUZZ_CHECK(data.size() == model.unread.size(), where);
    FUZZ_CHECK(model.unread.empty() ||
                   std::memcmp(data.data(), model.unread.data(), model.unread.size()) == 0,
               where);
    FUZZ_CHECK(data.error() == model.error, where);
    FUZZ_CHECK(data.count() == model.count, where);
    Data same(model.unread.data(), static_cast<uint32_t>(model.unread.size()));
    FUZZ_CHECK(data == same && !(data != same), where);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    par1fuzz::prepareEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    par1fuzz::Reader script(input, size);
    auto data = std::make_unique<Data>(0, 255);
    Model model;
    for (int step = 0; !script.empty() && step < 512; ++step) {
        uint32_t size = data->size();
        uint8_t operation = script.byte() % 12;
        if (size > 65536 && (operation == 1 || operation == 2)) {
            // Doubling without end tells nothing more and only fills memory.
            operation = 4;
        }
        switch (operation) {
        case 0: { // fresh bytes
            Bytes bytes = script.bytes(script.byte());
            data->append(bytes.data(), static_cast<uint32_t>(bytes.size()));
            model.unread.insert(model.unread.end(), bytes.begin(), bytes.end());
            break;
        }
        case 1: { // some of its own unread bytes
            uint32_t from = script.number(size + 1);
            uint32_t length = script.number(size - from + 1);
            Bytes copy(model.unread.begin() + from, model.unread.begin() + from + length);
            data->append(data->data() + from, length);
            model.unread.insert(model.unread.end(), copy.begin(), copy.end());
            break;
        }
        case 2: { // itself
            Bytes copy = model.unread;
            data->append(*data);
            model.unread.insert(model.unread.end(), copy.begin(), copy.end());
            break;
        }
        case 3: { // another buffer, partly read
            Bytes bytes = script.bytes(script.byte());
            Data other(bytes.data(), static_cast<uint32_t>(bytes.size()));
            uint32_t skip = script.number(static_cast<uint32_t>(bytes.size()) + 1);
            other.consume(skip, false);
            data->append(other);
            model.unread.insert(model.unread.end(), bytes.begin() + skip, bytes.end());
            break;
        }
        case 4: { // consume, more than held too
            uint32_t n = script.number(size + 4);
            bool compact = (script.byte() & 1) != 0;
            data->consume(n, compact);
            if (n <= size) {
                model.unread.erase(model.unread.begin(), model.unread.begin() + n);
            }
            break;
        }
        case 5:
            model.error = script.byte();
            data->setError(model.error);
            break;
        case 6:
            model.count = script.byte();
            data->setCount(model.count);
            break;
        case 7:
            data->clear();
            model = Model();
            break;
        case 8: { // overwrite the tail with fresh bytes
            Bytes bytes = script.bytes(script.byte());
            bool done = data->overwriteTail(bytes.data(), static_cast<uint32_t>(bytes.size()));
            FUZZ_CHECK(done == (bytes.size() <= size), "overwriteTail answer");
            if (done) {
                model.unread = bytes;
            }
            break;
        }
        case 9: { // overwrite the tail with its own bytes
            uint32_t from = script.number(size + 1);
            uint32_t length = script.number(size - from + 1);
            Bytes copy(model.unread.begin() + from, model.unread.begin() + from + length);
            FUZZ_CHECK(data->overwriteTail(data->data() + from, length), "own tail");
            model.unread = copy;
            break;
        }
        case 10: { // copies and assignment, to itself too
            Data copy(*data);
            check(copy, model, step);
            auto replaced = std::make_unique<Data>(0, 255);
            *replaced = copy;
            *replaced = *replaced;
            data = std::move(replaced);
            break;
        }
        case 11: { // refused appends change nothing but the error
            uint32_t length = 1 + script.number(16);
            data->append(nullptr, length);
            model.error = 87;
            break;
        }
        }
        check(*data, model, step);
    }
    return 0;
}
