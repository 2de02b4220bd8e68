try { external.Foo(); } catch (e) { e.message; }
onerror = function () { return true; };
var a = []; for (var i = 0; i < 100; i++) a.push(new VBArray(a));
