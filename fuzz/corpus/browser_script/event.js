onclick(e, f)
var t = e.type + event.srcElement.id; f = this; setTimeout(function () { t = 0; }, 10);
