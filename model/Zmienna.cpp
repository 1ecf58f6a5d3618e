// The meter object tree: named objects, numeric variables and containers.
#include "model/Zmienna.h"

#include <cstdio>
#include <cstring>
#include <utility>

int32_t ZmiennaSerialCounter = 0;
int32_t LiveContainerCount = 0;

namespace {

// The counter wraps instead of overflowing; a run never comes near 2^31 objects.
int32_t TakeSerial() {
  const int32_t serial = ZmiennaSerialCounter;
  ZmiennaSerialCounter = static_cast<int32_t>(static_cast<uint32_t>(serial) + 1u);
  return serial;
}

bool StartsCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

// Copies text into a fixed field of size bytes (terminator included), cutting
// it to at most maxChars characters and to what fits. The cut never splits a
// UTF-8 sequence, so a shortened name still shows as whole characters.
void CopyField(char* field, std::size_t size, const char* text, std::size_t maxChars = SIZE_MAX) {
  std::size_t len = 0;
  if (text != nullptr) {
    std::size_t chars = 0;
    while (len + 1 < size && text[len] != '\0') {
      if (StartsCharacter(text[len]) && ++chars > maxChars) break;
      ++len;
    }
    if (text[len] != '\0') {
      // Cut inside the text: step back over continuation bytes of a partial character.
      std::size_t start = len;
      while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
      if (start < len) len = start;
    }
    std::memcpy(field, text, len);
  }
  std::memset(field + len, 0, size - len);
}

// Copies a field out into a caller's buffer of size bytes, always terminated.
void CopyOut(const char* field, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  CopyField(buffer, static_cast<std::size_t>(size), field);
}

// Destroys a list node by node so that a long list never recurses once per node.
void DestroyList(std::unique_ptr<TZmienna>& head) {
  std::unique_ptr<TZmienna> node = std::move(head);
  while (node) {
    std::unique_ptr<TZmienna> rest = std::move(node->Next);
    node.reset();
    node = std::move(rest);
  }
}

bool NameIs(const TZmienna& object, const char* text) {
  return std::strncmp(object.Name, text, TZmienna::NAME_SIZE) == 0 &&
         std::strlen(text) < static_cast<std::size_t>(TZmienna::NAME_SIZE);
}

}  // namespace

// ---------------------------------------------------------------------------
// TZmienna

TZmienna::TZmienna() : Serial(TakeSerial()) {}

TZmienna::TZmienna(const char* name, const char* description, int kind)
    : Kind(kind), Serial(TakeSerial()) {
  CopyField(Name, NAME_SIZE, name, NAME_CHARS);
  CopyField(Description, DESCRIPTION_SIZE, description, DESCRIPTION_CHARS);
}

TZmienna::~TZmienna() { DestroyList(Next); }

TZmienna* TZmienna::FirstChild() { return nullptr; }

void TZmienna::InsertSorted(std::unique_ptr<TZmienna> node) {
  // A node that arrives with followers brings them along; each is placed by its
  // own Id, so none of them is lost.
  while (node) {
    std::unique_ptr<TZmienna> rest = std::move(node->Next);
    TZmienna* holder = this;
    while (holder->Next && holder->Next->Id < node->Id) holder = holder->Next.get();
    node->Next = std::move(holder->Next);
    holder->Next = std::move(node);
    node = std::move(rest);
  }
}

void TZmienna::AddChild(std::unique_ptr<TZmienna>) {}

void TZmienna::RemoveSibling(TZmienna* node) {
  if (node == nullptr) return;
  for (TZmienna* holder = this; holder->Next; holder = holder->Next.get()) {
    if (holder->Next.get() == node) {
      std::unique_ptr<TZmienna> removed = std::move(holder->Next);
      holder->Next = std::move(removed->Next);
      return;  // removed is destroyed here, alone
    }
  }
}

TZmienna* TZmienna::FindById(int id) {
  for (TZmienna* node = this; node != nullptr; node = node->Next.get()) {
    if (node->Id == id) return node;
  }
  return nullptr;
}

TZmienna* TZmienna::FindByName(const char* text, int upward) {
  if (text == nullptr) return nullptr;
  if (std::strcmp(text, "X") == 0 || NameIs(*this, text)) return this;
  if (upward != 0) return Parent != nullptr ? Parent->FindByName(text, 1) : nullptr;
  // Walk the following siblings in a loop rather than one call per node; a
  // container among them answers for itself and the rest of the list.
  for (TZmienna* node = Next.get(); node != nullptr; node = node->Next.get()) {
    if (dynamic_cast<TSlownik*>(node) != nullptr) return node->FindByName(text, 0);
    if (NameIs(*node, text)) return node;
  }
  return nullptr;
}

void TZmienna::SetName(const char* text) { CopyField(Name, NAME_SIZE, text, NAME_CHARS); }

void TZmienna::GetName(char* buffer, int size) const { CopyOut(Name, buffer, size); }

void TZmienna::SetDescription(const char* text) {
  CopyField(Description, DESCRIPTION_SIZE, text, DESCRIPTION_CHARS);
}

void TZmienna::GetDescription(char* buffer, int size) const {
  CopyOut(Description, buffer, size);
}

int TZmienna::GetState() const { return State; }

void TZmienna::SetState(int state) { State = state; }

float TZmienna::GetValue() const { return 0.0f; }

int TZmienna::Update(float) { return 0; }

void TZmienna::DeleteFollowing() { DestroyList(Next); }

int TZmienna::NextEvent(int&, std::string&) { return 0; }

int TZmienna::Spare() { return 0; }

// ---------------------------------------------------------------------------
// TZmiennaNum

TZmiennaNum::TZmiennaNum() = default;

TZmiennaNum::TZmiennaNum(const TParamDef& def)
    : TZmienna(def.Code, def.Description, def.Kind), Min(def.Min), Max(def.Max),
      Value(NO_VALUE) {
  Id = def.Register;
  CopyField(Unit, UNIT_SIZE, def.Unit);
}

float TZmiennaNum::GetValue() const { return Value; }

int TZmiennaNum::Update(float value) {
  Value = value;
  return 0;
}

// Limit supervision is never switched on in this program (ThresholdMode stays 0),
// so a variable has no events of its own.
int TZmiennaNum::NextEvent(int&, std::string&) { return 0; }

// ---------------------------------------------------------------------------
// TSlownik

TSlownik::TSlownik() { ++LiveContainerCount; }

TSlownik::TSlownik(const char* name, const char* description, int kind)
    : TZmienna(name, description, kind) {
  ++LiveContainerCount;
}

// The base destructor destroys the following siblings, the ChildList member
// the children.
TSlownik::~TSlownik() { --LiveContainerCount; }

TZmienna* TSlownik::FirstChild() { return ChildList.Next.get(); }

void TSlownik::AddChild(std::unique_ptr<TZmienna> node) {
  while (node) {
    std::unique_ptr<TZmienna> rest = std::move(node->Next);
    node->Parent = this;
    ++ChildCount;
    ChildList.InsertSorted(std::move(node));
    node = std::move(rest);
  }
}

TZmienna* TSlownik::FindByName(const char* text, int upward) {
  if (text == nullptr) return nullptr;
  const char* key = text;
  if (std::strchr(text, '.') != nullptr) {
    // A path "<container>.<variable>" belongs to the container whose Name is
    // exactly the part in front of the point; otherwise it is passed on.
    const std::size_t nameLen = std::strlen(Name);
    if (std::strncmp(text, Name, nameLen) != 0 || text[nameLen] != '.') {
      if (upward != 0) return Parent != nullptr ? Parent->FindByName(text, 1) : nullptr;
      return Next ? Next->FindByName(text, 0) : nullptr;
    }
    key = text + nameLen + 1;
  }
  for (TZmienna* child = FirstChild(); child != nullptr; child = child->Next.get()) {
    if (NameIs(*child, key)) return child;
  }
  return nullptr;
}

float TSlownik::GetValue() const { return 0.0f; }

int TSlownik::Update(float) {
  ErrorCount = 3;
  return 0;
}

int TSlownik::NextEvent(int& code, std::string& text) {
  code = static_cast<int>(static_cast<uint32_t>(Serial) << 16);
  const int previous = LinkState;
  const char* format = nullptr;
  switch (ErrorCount) {
    case 0:
      LinkState = 1;
      format = "\tConnection to %s";
      break;
    case 3:
      LinkState = 3;
      ErrorCount = 10;
      format = "\tTransmission error with %s";
      break;
    case 4:
      LinkState = 2;
      ErrorCount = 10;
      format = "\tBad configuration %s";
      break;
    case 5:
      LinkState = 4;
      ErrorCount = 10;
      format = "\tTransmission error with %s";
      break;
    default:
      break;
  }
  if (LinkState != previous) {
    char line[64];
    std::snprintf(line, sizeof line, format, Name);
    text = line;
    code += LinkState;
    return 1;
  }
  return LinkState == 1 ? 0 : -1;
}

int TSlownik::GetCatalogText(int, std::string& text) {
  text.clear();
  return 0;
}

void TSlownik::ReadOrFormatValue(int, std::string& text, std::string* unit) {
  text.clear();
  if (unit != nullptr) unit->clear();
}

int TSlownik::WriteParameter(int, const char*, std::string& message) {
  message.clear();
  return 0;
}

void TSlownik::ResetValues() {
  for (TZmienna* child = FirstChild(); child != nullptr; child = child->Next.get()) {
    child->Update(NO_VALUE);
    child->SetState(0);
  }
  LinkState = 0;
  ErrorCount = 1;
}
