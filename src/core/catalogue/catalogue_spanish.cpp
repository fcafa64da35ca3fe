// Spanish texts of the message catalogue (Windows locale 1034 and 3082).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Iniciando la instalación ",
    /* 1 */ L"Inicializando el instalador de QuentaSwiftset",
    /* 2 */ L"Obteniendo los datos de conexión de QuentaSwiftset",
    /* 3 */ L"Creando la URL de conexión de QuentaSwiftset",
    /* 4 */ L"Generando los parámetros de configuración",
    /* 5 */ L"Descargando el archivo de configuración desde %ls",
    /* 6 */ L"Verificando el archivo de configuración",
    /* 7 */ L"Descomprimiendo el archivo de configuración",
    /* 8 */ L"Descargando el archivo de instalación desde los repositorios",
    /* 9 */ L"Verificando el archivo de instalación del agente %ls",
    /* 10 */ L"Descomprimiendo los binarios del instalador del agente",
    /* 11 */ L"Instalando el agente. Esto puede tardar un poco...",
    /* 12 */ L"Limpiando después de la instalación",
    /* 13 */
    L"Ha finalizado la instalación de Quenta Agent. Se instalarán otros productos de "
    L"seguridad según las directivas administradas por su organización.",
    /* 14 */ L"Cancelando las operaciones. Esto puede tardar un poco...",
    /* 15 */ L"Error al inicializar QuentaSwiftset",
    /* 16 */ L"Error al obtener el nombre de QuentaSwiftset",
    /* 17 */ L"Error al buscar una URL para descargar los datos de configuración del agente",
    /* 18 */ L"No se pudo obtener el nombre FQDN",
    /* 19 */ L"Error al generar el GUID del agente",
    /* 20 */ L"Generando la URL para obtener los datos de configuración",
    /* 21 */ L"Error al generar la URL para obtener los datos de configuración",
    /* 22 */ L"No se pudo descargar el archivo de configuración",
    /* 23 */ L"Error al verificar el archivo de configuración",
    /* 24 */ L"Error al descomprimir el archivo de configuración",
    /* 25 */ L"No se pudo descargar el archivo de instalación",
    /* 26 */ L"Error al verificar el archivo de instalación del agente %ls",
    /* 27 */ L"Error al descomprimir el archivo de instalación",
    /* 28 */ L"La instalación del agente no se realizó correctamente",
    /* 29 */ L"La limpieza no se ha completado",
    /* 30 */ L"Se produjo un error durante las operaciones de QuentaSwiftset del agente",
    /* 31 */
    L"Es posible que la solicitud se haya enviado con un código de token no válido o "
    L"caducado:Respuesta: %ls",
    /* 32 */
    L"Es posible que se haya agotado el número de usos asociado a este "
    L"QuentaSwiftset:Respuesta: %ls",
    /* 33 */ L"Código de respuesta de la solicitud de configuración: %ls",
    /* 34 */ L"Ayuda de Quenta Swiftset",
    /* 35 */
    L"\n"
    L"Opciones:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Ruta de datos>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Ruta de instalación>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Registro de depuración>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Dirección del proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Puerto del proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Nombre de usuario del proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Contraseña del proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -k <Deshabilitar la verificación del par HTTPS>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Instalación silenciosa>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Indicar al agente que está en un entorno VDI>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Opción de instalación forzada para la implementación del "
    L"agente>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Instalación forzada con la opción keepGUID para la "
    L"implementación del agente>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Ayuda>",
    /* 36 */
    L"\n"
    L"Opciones:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Ruta de datos>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Ruta de instalación>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Registro de depuración>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Dirección del proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Puerto del proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Nombre de usuario del proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Contraseña del proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -k <Deshabilitar la verificación del par HTTPS>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Ayuda>",
    /* 37 */ L"Se ha pasado un GUID no válido por la línea de comandos\n",
    /* 38 */ L"Intentando descargar los archivos de instalación desde los equipos del mismo nivel",
    /* 39 */ L"Intentando descargar los archivos directamente desde Lumacore",
    /* 40 */ L"No se pueden descargar los archivos mediante el proxy. Usando el relé",
    /* 41 */ L"No se pueden descargar los archivos directamente desde Lumacore. Usando el proxy",
    /* 42 */
    L"No se pueden descargar los archivos mediante el relé. Error al descargar los "
    L"archivos",
    /* 43 */
    L"Este programa necesita privilegios de root para realizar la instalación. El "
    L"instalador no puede continuar",
    /* 44 */ L"Es posible que se esté ejecutando otra instancia. Espere.",
    /* 45 */ L"La actualización del agente no se realizó correctamente",
    /* 46 */ L"Aceptar",
    /* 47 */ L"&Cancelar",
    /* 48 */ L"El archivo de datos de conexión no existe",
    /* 49 */
    L"Uso:- ./QuentaSwiftset.sh <opciones>\n"
    L"Ejecute ./QuentaSwiftset.sh -? para ver la lista de opciones.",
    /* 50 */ L"Cancelar",
    /* 51 */ L"Siguiente",
    /* 52 */ L"Haga clic en Siguiente para continuar con la instalación",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Spanish holds ids 0-52");
}   // namespace

const message_table catalogue_spanish = {texts, sizeof texts / sizeof texts[0]};
