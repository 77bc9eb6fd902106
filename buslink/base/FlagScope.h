#pragma once
// Sets a flag for the life of a scope, whatever way the scope is left.

namespace buslink {

class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag(flag) { flag = true; }
    ~FlagScope() { flag = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag;
};

} // namespace buslink
