#pragma once
#include <stdexcept>
#ifdef THROWER_BUILDING
#define THROWER_API __declspec(dllexport)
#else
#define THROWER_API __declspec(dllimport)
#endif
class THROWER_API Fault : public std::runtime_error {
public:
  explicit Fault(int code);
  ~Fault() override;
  int code() const { return code_; }
private:
  int code_;
};
THROWER_API void raise_fault(int code);
