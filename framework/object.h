// Run-time class information: each class that declares it can name its class
// and tell whether it is of (or derives from) another declared class.
#pragma once

struct CRuntimeClass {
  const char* m_lpszClassName;
  int m_nObjectSize;
  const CRuntimeClass* m_pBaseClass;  // null for CObject

  // True when this class is `base` or derives from it.
  bool IsDerivedFrom(const CRuntimeClass* base) const;
};

class CObject {
 public:
  virtual ~CObject() = default;
  // The most derived declared class of this object.
  virtual const CRuntimeClass* GetRuntimeClass() const;
  // True when this object's class is `cls` or derives from it.
  bool IsKindOf(const CRuntimeClass* cls) const;

  static const CRuntimeClass classCObject;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

// Declared in the class; defined once with IMPLEMENT_DYNAMIC (no dynamic creation).
#define DECLARE_DYNAMIC(class_name)                 \
 public:                                            \
  static const CRuntimeClass class##class_name;     \
  const CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                           \
  const CRuntimeClass class_name::class##class_name = {                          \
      #class_name, static_cast<int>(sizeof(class_name)), RUNTIME_CLASS(base_class_name)}; \
  const CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }
