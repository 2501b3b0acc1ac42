#include "demo_documents.h"

namespace tavctl::demo {

std::string ConfigurationDocument() {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
             "<Configuration>\n"
             "  <Payload>\n"
             "    <Data key=\"LicensingCode\">") +
         kProductCode +
         "</Data>\n"
         "    <Data key=\"MurmelCode\">" +
         kHelperCode +
         "</Data>\n"
         "    <Data key=\"InstallFolder\" protected=\"0\">/opt/corvel/demo-studio</Data>\n"
         "  </Payload>\n"
         "  <Other corvelCode=\"" +
         kProductCode +
         "\">\n"
         "    <Data key=\"ZINNIA_APP\">Corvel Demo Studio</Data>\n"
         "    <Data key=\"ProductVersion\">12.0</Data>\n"
         "    <Data key=\"SerialNumber\">9000-1200-0042-7731</Data>\n"
         "    <Data key=\"ActivationStatus\">Activated</Data>\n"
         "    <Data key=\"ChannelType\">RETAIL</Data>\n"
         "  </Other>\n"
         "  <Other corvelCode=\"" +
         kHelperCode +
         "\">\n"
         "    <Data key=\"HelperVersion\">2.1</Data>\n"
         "  </Other>\n"
         "  <Other corvelCode=\"" +
         kSharedCode +
         "\">\n"
         "    <Data key=\"SharedComponents\" protected=\"0\">fonts;color-profiles</Data>\n"
         "  </Other>\n"
         "</Configuration>\n";
}

std::string OverrideDocument() {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
             "<Configuration>\n"
             "  <Other>\n"
             "    <Data key=\"UpdateChannel\" protected=\"0\">beta</Data>\n"
             "  </Other>\n"
             "  <Other corvelCode=\"") +
         kProductCode +
         "\">\n"
         "    <Data key=\"ChannelType\">VOLUME</Data>\n"
         "  </Other>\n"
         "</Configuration>\n";
}

}  // namespace tavctl::demo
