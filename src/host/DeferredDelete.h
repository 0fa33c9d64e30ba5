// Objects that script callbacks may destroy while the engine is walking over them (a sprite's
// callback destroying its own sprite, a GUI handler closing its window): destroyed during a pass
// they stay allocated until the outermost pass ends, so that the code that called the callback
// can still look at them.
#pragma once
#include <vector>

namespace ove {

template <class T>
class TDeferredDelete {
public:
    TDeferredDelete() = default;
    TDeferredDelete(const TDeferredDelete&) = delete;
    TDeferredDelete& operator=(const TDeferredDelete&) = delete;
    ~TDeferredDelete() { DeleteDoomed(); }

    // Held while a pass runs; passes nest.
    class CPass {
    public:
        explicit CPass(TDeferredDelete& owner) : owner_(owner) { ++owner_.depth_; }
        ~CPass() {
            if (--owner_.depth_ == 0) owner_.DeleteDoomed();
        }
        CPass(const CPass&) = delete;
        CPass& operator=(const CPass&) = delete;

    private:
        TDeferredDelete& owner_;
    };

    bool InPass() const { return depth_ > 0; }
    // Deletes now, or when the outermost pass ends.
    void Delete(T* object) {
        if (depth_ > 0)
            doomed_.push_back(object);
        else
            delete object;
    }
    // Deletes everything waiting (deleting one may destroy more).
    void DeleteDoomed() {
        while (!doomed_.empty()) {
            std::vector<T*> doomed;
            doomed.swap(doomed_);
            for (T* object : doomed) delete object;
        }
    }

private:
    int depth_ = 0;
    std::vector<T*> doomed_;
};

}  // namespace ove
