// The reading plan's second looks read at once, each by a pass of its own.
#include <exception>
#include <system_error>
#include <thread>

#include "recognition/reading_plan.hpp"
#include "recognition/reading_plan_state.hpp"

namespace karvona::recognition {

bool ReadingPlan::TakeLooksAtOnce(RunState& run, int k, int end) {
    // The looks are read at once, each by its own pass, and taken in their order as one pass
    // would take them: a look after the one that stops the plan is read for nothing, and a turn
    // that only a look of this round made worth taking is read then, alone.
    struct Slot {
        Look look;
        bool read = false;  ///< worth reading when the round began
        bool taken = false;
        LookImage image;
        Recognizer* pass = nullptr;
        classifier::CharacterNet* net = nullptr;
    };
    const int count = end - k;
    while (static_cast<int>(helpers_.size()) < count - 1)
        helpers_.push_back(std::make_unique<Helper>(data_));
    std::vector<Slot> slots(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Slot& slot = slots[static_cast<size_t>(i)];
        slot.look = SecondLooks()[static_cast<size_t>(k + i - 1)];
        slot.read = WorthTaking(run, slot.look);
        if (slot.read && slot.look.scale != 1.0)
            ScaledPhoto(run, slot.look.scale);  // made here, read by the threads
        if (i == 0) {
            slot.pass = pass_.get();
            slot.net = net_.get();
        } else {
            Helper& helper = *helpers_[static_cast<size_t>(i - 1)];
            helper.pass.options = RecognitionOptions{};
            helper.pass.options.strict = true;
            helper.pass.options.samplesFolder = run.out.options.samplesFolder;
            slot.pass = &helper.pass;
            slot.net = helper.net.get();
        }
        slot.pass->options.locatorStepView = false;
        slot.pass->options.readerStepView = false;
        slot.pass->options.saveSamples = false;
        slot.pass->options.samples = nullptr;
        DetachAll(run, *slot.pass);
    }
    // What a thread could not do (out of memory) is raised again here, as one pass would raise it.
    std::vector<std::exception_ptr> failed(slots.size());
    auto read = [&](size_t i) {
        Slot& slot = slots[i];
        try {
            if (!slot.read || !ImageOf(run, slot.look, slot.image))
                return;
            slot.taken = true;
            slot.pass->RecognizeLoaded(slot.image.image);
            ReadWithNet(slot.net, *slot.pass);
        } catch (...) {
            failed[i] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    size_t started = 1;
    try {
        for (; started < slots.size(); ++started)
            threads.emplace_back(read, started);
    } catch (const std::system_error&) {
        // No thread to be had: the rest are read here.
    }
    read(0);
    for (size_t i = started; i < slots.size(); ++i)
        read(i);
    for (std::thread& thread : threads)
        thread.join();
    for (const std::exception_ptr& failure : failed) {
        if (failure)
            std::rethrow_exception(failure);
    }
    for (int i = 0; i < count; ++i) {
        Slot& slot = slots[static_cast<size_t>(i)];
        bool sure = false;
        if (!WorthTaking(run, slot.look))
            continue;  // as one pass would pass it by
        if (!slot.read) {
            sure = TakeLook(run, k + i, slot.look);  // worth taking since an earlier slot
        } else if (slot.taken) {
            sure = Consume(run, k + i, slot.look, *slot.pass, slot.image);
        } else {
            continue;
        }
        if (Stops(run, sure))
            return true;
    }
    return false;
}

}  // namespace karvona::recognition
