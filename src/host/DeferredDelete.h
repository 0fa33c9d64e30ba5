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
        explicit CPass(TDeferredDelete& owner) : m_owner(owner) { ++m_owner.m_depth; }
        ~CPass() {
            if (--m_owner.m_depth == 0) m_owner.DeleteDoomed();
        }
        CPass(const CPass&) = delete;
        CPass& operator=(const CPass&) = delete;

    private:
        TDeferredDelete& m_owner;
    };

    bool InPass() const { return m_depth > 0; }
    // Deletes now, or when the outermost pass ends.
    void Delete(T* object) {
        if (m_depth > 0) m_doomed.push_back(object);
        else delete object;
    }
    // Deletes everything waiting (deleting one may destroy more).
    void DeleteDoomed() {
        while (!m_doomed.empty()) {
            std::vector<T*> doomed;
            doomed.swap(m_doomed);
            for (T* object : doomed) delete object;
        }
    }

private:
    int m_depth = 0;
    std::vector<T*> m_doomed;
};

}  // namespace ove
