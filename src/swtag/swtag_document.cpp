#include "swtag/swtag_document.h"

#include <initializer_list>

#include "swtag/swtag_log.h"
#include "swtag/swtag_tag_file.h"

namespace corvel::swtag {

using markup::CMarkupSTL;

namespace {

constexpr const char* kCrLf = "\r\n";

// ---- validation

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// ---- new tag text

class TagText {
 public:
  void Row(const std::string& row) {
    if (mRows++ > 0) mText += kCrLf;
    mText += row;
  }
  // A row holding one element with its value: indentation, start tag, value, end tag.
  void Element(int tabs, const char* name, const std::string& value) {
    Row(std::string(static_cast<size_t>(tabs), '\t') + "<" + name + ">" + value + "</" + name +
        ">");
  }
  void Start(int tabs, const char* name) {
    Row(std::string(static_cast<size_t>(tabs), '\t') + "<" + name + ">");
  }
  void End(int tabs, const char* name) {
    Row(std::string(static_cast<size_t>(tabs), '\t') + "</" + name + ">");
  }
  const std::string& text() const { return mText; }

 private:
  std::string mText;
  int mRows = 0;
};

// ---- walking an existing tag

// What a walk over the known elements does with each one's value.
class TagVisitor {
 public:
  virtual ~TagVisitor() = default;
  // The main position is an element holding a text field.
  virtual void Text(CMarkupSTL& document, std::string& value) = 0;
  // The main position is swid:entitlement_required_indicator.
  virtual void Flag(CMarkupSTL& document, bool& value) = 0;
};

class TagReader : public TagVisitor {
 public:
  void Text(CMarkupSTL& document, std::string& value) override { value = document.GetData(); }
  void Flag(CMarkupSTL& document, bool& value) override { value = document.GetData() == "true"; }
};

class TagUpdater : public TagVisitor {
 public:
  void Text(CMarkupSTL& document, std::string& value) override { Compare(document, value); }
  void Flag(CMarkupSTL& document, bool& value) override {
    Compare(document, value ? "true" : "false");
  }
  bool changed() const { return mChanged; }

 private:
  void Compare(CMarkupSTL& document, const std::string& wanted) {
    if (document.GetData() != wanted && document.SetData(wanted.c_str())) mChanged = true;
  }
  bool mChanged = false;
};

struct ChildField {
  const char* name;
  std::string SwTagRecord::*field;
};

// Visits the children of the main element that are named in `fields`, wherever they stand.
void WalkChildren(CMarkupSTL& document, SwTagRecord& record, TagVisitor& visitor,
                  std::initializer_list<ChildField> fields) {
  document.IntoElement();
  while (document.FindElement()) {
    const std::string name = document.GetTagName();
    for (const ChildField& child : fields) {
      if (name == child.name) visitor.Text(document, record.*child.field);
    }
  }
  document.OutOfElement();
}

void WalkProductVersion(CMarkupSTL& document, SwTagRecord& record, TagVisitor& visitor) {
  document.IntoElement();
  while (document.FindElement()) {
    const std::string name = document.GetTagName();
    if (name == "swid:name") {
      visitor.Text(document, record.mVersionName);
    } else if (name == "swid:numeric") {
      WalkChildren(document, record, visitor,
                   {{"swid:major", &SwTagRecord::mMajor},
                    {"swid:minor", &SwTagRecord::mMinor},
                    {"swid:build", &SwTagRecord::mBuild},
                    {"swid:review", &SwTagRecord::mReview}});
    }
  }
  document.OutOfElement();
}

// Visits every known element of the tag; the main position is the root before and after.
void WalkTag(CMarkupSTL& document, SwTagRecord& record, TagVisitor& visitor) {
  document.IntoElement();
  while (document.FindElement()) {
    const std::string name = document.GetTagName();
    if (name == "swid:entitlement_required_indicator") {
      visitor.Flag(document, record.mEntitlementRequired);
    } else if (name == "swid:product_title") {
      visitor.Text(document, record.mProductTitle);
    } else if (name == "swid:product_version") {
      WalkProductVersion(document, record, visitor);
    } else if (name == "swid:software_creator") {
      WalkChildren(document, record, visitor,
                   {{"swid:name", &SwTagRecord::mSoftwareCreatorName},
                    {"swid:regid", &SwTagRecord::mSoftwareCreatorRegid}});
    } else if (name == "swid:software_licensor") {
      WalkChildren(document, record, visitor,
                   {{"swid:name", &SwTagRecord::mSoftwareLicensorName},
                    {"swid:regid", &SwTagRecord::mSoftwareLicensorRegid}});
    } else if (name == "swid:tag_creator") {
      WalkChildren(document, record, visitor,
                   {{"swid:name", &SwTagRecord::mTagCreatorName},
                    {"swid:regid", &SwTagRecord::mTagCreatorRegid}});
    } else if (name == "swid:software_id") {
      WalkChildren(document, record, visitor,
                   {{"swid:unique_id", &SwTagRecord::mUniqueId},
                    {"swid:tag_creator_regid", &SwTagRecord::mSoftwareIdTagCreatorRegid}});
    } else if (name == "swid:license_linkage") {
      WalkChildren(document, record, visitor,
                   {{"swid:activation_status", &SwTagRecord::mActivationStatus},
                    {"swid:channel_type", &SwTagRecord::mChannelType},
                    {"swid:customer_type", &SwTagRecord::mCustomerType}});
    } else if (name == "swid:serial_number") {
      visitor.Text(document, record.mSerialNumber);
    }
  }
  document.OutOfElement();
}

// Positions the main position on the root element from wherever the cursor stands.
bool FindRoot(CMarkupSTL& document) {
  return document.FindElement((std::string("/") + kTagRootName).c_str());
}

// ---- completing the structure of an existing tag

// With the main position on a compound element that was found: each expected child is
// looked for after the previous one and added there when missing.
void CompleteChildren(CMarkupSTL& document, std::initializer_list<const char*> children) {
  for (const char* child : children) {
    if (!document.FindChildElement(child)) document.AddChildElement(child);
  }
}

// With the main position on a compound element that was just added: all children, empty.
void AddChildren(CMarkupSTL& document, std::initializer_list<const char*> children) {
  for (const char* child : children) document.AddChildElement(child);
}

constexpr std::initializer_list<const char*> kNumericChildren = {"swid:major", "swid:minor",
                                                                 "swid:build", "swid:review"};

void CompleteProductVersion(CMarkupSTL& document) {
  if (!document.FindElement("swid:product_version")) {
    document.AddElement("swid:product_version");
    AddChildren(document, {"swid:name", "swid:numeric"});
    document.IntoElement();
    AddChildren(document, kNumericChildren);
    document.OutOfElement();
    return;
  }
  document.IntoElement();
  if (!document.FindElement("swid:name")) document.AddElement("swid:name");
  if (document.FindElement("swid:numeric")) {
    CompleteChildren(document, kNumericChildren);
  } else {
    document.AddElement("swid:numeric");
    AddChildren(document, kNumericChildren);
  }
  document.OutOfElement();
}

void CompleteSimple(CMarkupSTL& document, const char* name) {
  if (!document.FindElement(name)) document.AddElement(name);
}

void CompleteCompound(CMarkupSTL& document, const char* name,
                      std::initializer_list<const char*> children) {
  if (document.FindElement(name)) {
    CompleteChildren(document, children);
  } else {
    document.AddElement(name);
    AddChildren(document, children);
  }
}

void CompleteStructure(CMarkupSTL& document) {
  if (!FindRoot(document)) return;
  document.IntoElement();
  CompleteSimple(document, "swid:entitlement_required_indicator");
  CompleteSimple(document, "swid:product_title");
  CompleteProductVersion(document);
  CompleteCompound(document, "swid:software_creator", {"swid:name", "swid:regid"});
  CompleteCompound(document, "swid:software_licensor", {"swid:name", "swid:regid"});
  CompleteCompound(document, "swid:software_id", {"swid:unique_id", "swid:tag_creator_regid"});
  CompleteCompound(document, "swid:tag_creator", {"swid:name", "swid:regid"});
  CompleteCompound(document, "swid:license_linkage",
                   {"swid:activation_status", "swid:channel_type", "swid:customer_type"});
  CompleteSimple(document, "swid:serial_number");
  document.OutOfElement();
}

}  // namespace

TagValidation ValidateRecord(const SwTagRecord& r) {
  for (const std::string* field :
       {&r.mProductTitle, &r.mVersionName, &r.mMajor, &r.mMinor, &r.mBuild, &r.mReview,
        &r.mUniqueId, &r.mSoftwareIdTagCreatorRegid, &r.mSoftwareCreatorRegid,
        &r.mSoftwareCreatorName, &r.mSoftwareLicensorRegid, &r.mSoftwareLicensorName,
        &r.mTagCreatorRegid, &r.mTagCreatorName}) {
    if (field->empty()) return TagValidation::kMandatoryMissing;
  }
  for (const std::string* number : {&r.mMajor, &r.mMinor, &r.mBuild, &r.mReview}) {
    if (!AllDigits(*number)) return TagValidation::kInvalidData;
  }
  return TagValidation::kValid;
}

std::string NewTagText(const SwTagRecord& r) {
  TagText t;
  t.Row(R"(<?xml version="1.0" encoding="utf-8"?>)");
  t.Row(std::string("<") + kTagRootName + " xsi:schemaLocation=\"" + kSwidNamespace +
        " software_identification_tag.xsd\" ");
  t.Row(std::string("\t xmlns:swid=\"") + kSwidNamespace + "\" xmlns:xsi=\"" +
        kSchemaInstanceNamespace + "\">");
  t.Row("");
  t.Row("<!--Mandatory Identity elements -->");
  t.Element(0, "swid:entitlement_required_indicator", r.mEntitlementRequired ? "true" : "false");
  t.Element(0, "swid:product_title", r.mProductTitle);
  t.Start(0, "swid:product_version");
  t.Element(1, "swid:name", r.mVersionName);
  t.Start(1, "swid:numeric");
  t.Element(2, "swid:major", r.mMajor);
  t.Element(2, "swid:minor", r.mMinor);
  t.Element(2, "swid:build", r.mBuild);
  t.Element(2, "swid:review", r.mReview);
  t.End(1, "swid:numeric");
  t.End(0, "swid:product_version");
  t.Start(0, "swid:software_creator");
  t.Element(1, "swid:name", r.mSoftwareCreatorName);
  t.Element(1, "swid:regid", r.mSoftwareCreatorRegid);
  t.End(0, "swid:software_creator");
  t.Start(0, "swid:software_licensor");
  t.Element(1, "swid:name", r.mSoftwareLicensorName);
  t.Element(1, "swid:regid", r.mSoftwareLicensorRegid);
  t.End(0, "swid:software_licensor");
  t.Start(0, "swid:software_id");
  t.Element(1, "swid:unique_id", r.mUniqueId);
  t.Element(1, "swid:tag_creator_regid", r.mSoftwareIdTagCreatorRegid);
  t.End(0, "swid:software_id");
  t.Row("");
  t.Start(0, "swid:tag_creator");
  t.Element(1, "swid:name", r.mTagCreatorName);
  t.Element(1, "swid:regid", r.mTagCreatorRegid);
  t.End(0, "swid:tag_creator");
  t.Row("<!--Optional Identity elements -->");
  t.Start(0, "swid:license_linkage");
  t.Element(1, "swid:activation_status", r.mActivationStatus);
  t.Element(1, "swid:channel_type", r.mChannelType);
  t.Element(1, "swid:customer_type", r.mCustomerType);
  t.End(0, "swid:license_linkage");
  t.Element(0, "swid:serial_number", r.mSerialNumber);
  t.End(0, kTagRootName);
  return t.text();
}

void ReadExistingTag(SwTagRecord& record) {
  TagLog::Line("%s: %s: Reading existing %s file\n", kSwTagModule, kSwTagLevel, record.mTagPath);
  if (!LoadTagFile(record.mTagPath, record.mDocument, &record.mUnicodeFile)) return;
  if (!record.mDocument.FindElement(kTagRootName)) return;
  record.mExistingLoaded = true;
  TagReader reader;
  WalkTag(record.mDocument, record, reader);
}

void UpdateExistingTag(SwTagRecord& record) {
  CompleteStructure(record.mDocument);
  if (!FindRoot(record.mDocument)) return;
  TagUpdater updater;
  WalkTag(record.mDocument, record, updater);
  if (updater.changed()) record.mChanged = true;
}

}  // namespace corvel::swtag
