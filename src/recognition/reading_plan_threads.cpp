// The reading plan's second looks (and the looks at crops) read at once, each by a pass of its
// own.
#include <exception>
#include <functional>
#include <system_error>
#include <thread>

#include "recognition/reading_plan.hpp"
#include "recognition/reading_plan_state.hpp"

namespace karvona::recognition {

namespace {

/// Calls read(0) .. read(count - 1), each on a thread of its own but the first, which is read
/// on the calling thread (as are the rest when no thread is to be had). What a thread could not
/// do (out of memory) is raised again here, as one pass would raise it.
void RunAtOnce(size_t count, const std::function<void(size_t)>& read) {
    std::vector<std::exception_ptr> failed(count);
    auto guarded = [&](size_t i) {
        try {
            read(i);
        } catch (...) {
            failed[i] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    size_t started = 1;
    try {
        for (; started < count; ++started)
            threads.emplace_back(guarded, started);
    } catch (const std::system_error&) {
        // No thread to be had: the rest are read here.
    }
    if (count > 0)
        guarded(0);
    for (size_t i = started; i < count; ++i)
        guarded(i);
    for (std::thread& thread : threads)
        thread.join();
    for (const std::exception_ptr& failure : failed) {
        if (failure)
            std::rethrow_exception(failure);
    }
}

}  // namespace

Recognizer& ReadingPlan::LookPass(RunState& run, size_t slot, classifier::CharacterNet*& net) {
    Recognizer* pass = pass_.get();
    net = net_.get();
    if (slot > 0) {
        while (helpers_.size() < slot)
            helpers_.push_back(std::make_unique<Helper>(data_));
        Helper& helper = *helpers_[slot - 1];
        helper.pass.options = RecognitionOptions{};
        helper.pass.options.strict = true;
        helper.pass.options.samplesFolder = run.out.options.samplesFolder;
        pass = &helper.pass;
        net = helper.net.get();
    }
    // Step views and samples belong to the first look, which is never read at once.
    pass->options.locatorStepView = false;
    pass->options.readerStepView = false;
    pass->options.saveSamples = false;
    pass->options.samples = nullptr;
    DetachAll(run, *pass);
    return *pass;
}

bool ReadingPlan::ReadCropLooksAtOnce(RunState& run, std::vector<CropLook>& looks) {
    // As TakeLooksAtOnce: read at once, taken in their order, none after the one that stops.
    std::vector<Recognizer*> passes(looks.size());
    std::vector<classifier::CharacterNet*> nets(looks.size());
    for (size_t i = 0; i < looks.size(); ++i)
        passes[i] = &LookPass(run, i, nets[i]);
    RunAtOnce(looks.size(), [&](size_t i) {
        passes[i]->RecognizeLoaded(looks[i].image.image);
        ReadWithNet(nets[i], *passes[i]);
    });
    for (size_t i = 0; i < looks.size(); ++i) {
        const CropLook& look = looks[i];
        if (Stops(run, Consume(run, look.k, look.look, *passes[i], look.image)))
            return true;
    }
    return false;
}

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
    std::vector<Slot> slots(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Slot& slot = slots[static_cast<size_t>(i)];
        slot.look = SecondLooks()[static_cast<size_t>(k + i - 1)];
        slot.read = WorthTaking(run, slot.look);
        if (slot.read && slot.look.scale != 1.0)
            ScaledPhoto(run, slot.look.scale);  // made here, read by the threads
        slot.pass = &LookPass(run, static_cast<size_t>(i), slot.net);
    }
    RunAtOnce(slots.size(), [&](size_t i) {
        Slot& slot = slots[i];
        if (!slot.read || !ImageOf(run, slot.look, slot.image))
            return;
        slot.taken = true;
        slot.pass->RecognizeLoaded(slot.image.image);
        ReadWithNet(slot.net, *slot.pass);
    });
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
