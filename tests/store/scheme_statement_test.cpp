#include "store/scheme_statement.h"

#include <gtest/gtest.h>

namespace vela {
namespace {

TEST(SchemeSaveStatement, InsertOrUpdateFollowsTheIdBoxAlone) {
    SchemeForm form;
    form.id = "0";
    EXPECT_EQ(SchemeSaveStatement(form),
              "insert into rule(isdo,code,url,before,after,regular,buquan,cookie,tindex,uindex,"
              "oindex,ua,name,type) values('1','','','','','','','','','','','','','')");
    form.id = "12";
    form.name = "a'b";
    EXPECT_EQ(SchemeSaveStatement(form),
              "update rule set code='',url='',before='',after='',regular='',buquan='',cookie='',"
              "tindex='',uindex='',oindex='',ua='',name='a''b',type='' where id=12");
}

}  // namespace
}  // namespace vela
