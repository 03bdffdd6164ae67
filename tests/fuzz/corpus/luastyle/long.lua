--[==[ long
 comment ]] still
]==] sel("a\"b") obj.x = [[s
tr]]
