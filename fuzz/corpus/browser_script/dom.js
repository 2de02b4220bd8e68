var p = document.getElementById('x');
p.innerHTML = '<b>' + p.innerText + '</b>';
document.all('y').className = 'c';
x.title = document.title;
document.write('<script>var z = 1;<\/script>');
setTimeout(function () { document.forms[0].a.value = String(new Date()); }, 10);
