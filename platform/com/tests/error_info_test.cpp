#include <gtest/gtest.h>

#include "platform/com/oleauto.h"

namespace {

TEST(ErrorInfo, ThreadErrorObject) {
  ICreateErrorInfo* create;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  create->SetSource(const_cast<LPOLESTR>(u"Korvane.BrowserToHost"));
  create->SetDescription(const_cast<LPOLESTR>(u"bad value"));
  IErrorInfo* info;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  create->Release();
  SetErrorInfo(0, info);
  info->Release();
  IErrorInfo* got;
  ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
  BSTR d;
  got->GetDescription(&d);
  EXPECT_EQ(kv::BstrText(d), u"bad value");
  SysFreeString(d);
  got->Release();
  EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
}

}  // namespace
