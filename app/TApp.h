#pragma once
// The player's one application object: the control buttons, the PROGRESS and PAN groups, the
// display timer, and the handling of every event the framework raises.

#include <cstdint>
#include <string>

#include "platform/gui/Gui.h"

namespace app {

class TApp : public fw::Object {
public:
    fw::Ref<fw::TGadget> myload;
    fw::Ref<fw::TGadget> myplay;
    fw::Ref<fw::TGadget> mylop;
    fw::Ref<fw::TGadget> mydivdue;
    fw::Ref<fw::TGadget> myperdue;
    fw::Ref<fw::TGadget> myabout;
    fw::Ref<fw::TGadget> PosGroup;
    fw::Ref<fw::TGadget> myslider;
    fw::Ref<fw::TGadget> PanGroup;
    fw::Ref<fw::TGadget> mypan;
    fw::Ref<fw::TTimer> Timer;
    int32_t LoopMode = 0;
    int32_t Status = 0;

    // Builds the gadgets and the timer, hooks the object onto EmitEventHook and opens the file
    // named by the first command-line argument. The hook keeps the object alive.
    static fw::Ref<TApp> New();

    static fw::Ref<fw::Object> eventhook(int32_t id, fw::Ref<fw::Object> data, fw::Ref<fw::Object> context);
    virtual int32_t OnEvent(const fw::Ref<fw::TEvent>& event);
    // force 0: only an existing plain file; otherwise anything the engine can open.
    virtual int32_t OpenAudio(const std::string& path, int32_t force);
    static std::string Millisecs2Time(int32_t ms);

protected:
    void Delete() override;

private:
    void OnGadgetAction(const fw::Ref<fw::TEvent>& event);
    void OnTimerTick(const fw::Ref<fw::TEvent>& event);
};

// The text at the end of the about line.
extern const char* const kMakerAddress;

}  // namespace app
